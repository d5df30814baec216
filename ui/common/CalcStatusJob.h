#pragma once

#include "calc/CalcStatusInfo.h"
#include "db/okstat.h"

#include <QObject>
#include <QString>

#include <functional>

class AttributeExporter;
class DataExporter;
class DemandCalculator;
class ProjectValidator;
class WorkbookDiffJob;

// What the status dialog shows of one worker and how it hears from it: the texts, the worker's
// progress and end (connected queued, whatever the worker calls its signals), and how it is
// stopped if it can be. Each kind of worker is described once, by the functions below.
struct CalcStatusJob {
    using StatusFn = std::function<void(const CalcStatusInfo&)>;
    using FinishedFn = std::function<void(const TARN::okstat&)>;

    QString windowTitle;
    QString label;
    // A worker with one count (the sheets of a comparison) shows one bar, with this label.
    QString singleBarLabel;
    // Progress shown at most every 50 ms, for workers that report in bursts.
    bool paced = false;
    // When set, a Cancel button calls it.
    std::function<void()> cancel;
    // Connects the worker's progress and end to the two functions in the given context; unset
    // when the owner connects them to the dialog's handlers itself.
    std::function<void(QObject* context, const StatusFn&, const FinishedFn&)> connect;

    template<typename Worker, typename StatusSignal, typename FinishedSignal>
    void connectSignals(Worker* worker, StatusSignal status, FinishedSignal finished)
    {
        connect = [worker, status, finished](
                      QObject* context, const StatusFn& onStatus, const FinishedFn& onFinished) {
            QObject::connect(worker, status, context, onStatus, Qt::QueuedConnection);
            QObject::connect(worker, finished, context, onFinished, Qt::QueuedConnection);
        };
    }

    static CalcStatusJob calculation(DemandCalculator* calculator);
    static CalcStatusJob validation(ProjectValidator* validator);
    static CalcStatusJob dataExport(DataExporter* exporter);
    static CalcStatusJob attributeExport(AttributeExporter* exporter);
    static CalcStatusJob workbookDiff(WorkbookDiffJob* job);
    // Any other worker: its owner connects the progress and end with connectSignals (or to the
    // dialog's handlers).
    static CalcStatusJob other(const QString& windowTitle, const QString& label);
};
