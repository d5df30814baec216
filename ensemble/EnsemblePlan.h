#pragma once

#include "calc/ScenarioChanges.h"
#include "db/EnsembleData.h"
#include "db/okstat.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QSqlDatabase>
#include <QString>

#include <cstdint>
#include <vector>

// One quantity an ensemble varies: one year's value of a demand change's depletion or efficiency
// changes, or a factor on all values of a change (both quantities, or the one named).
struct Variation {
    enum Kind { YearValue, Factor };
    Kind kind = YearValue;
    QString change; // the demand change's name in the template scenario
    int changeID = 0;
    bool depletion = true; // YearValue: depletion or efficiency; Factor: scales depletion values
    bool efficiency = false; // Factor: scales efficiency values
    int year = 0; // YearValue
    double min = 0.0;
    double max = 0.0;

    // "Growth depletion 2030", "Drought factor", "Drought depletion factor".
    QString label() const;
    // The member's value applied to the change it names (others are left alone): the year's
    // value replaced, or every value but a baseline year's multiplied.
    void apply(double value, ScenarioChanges::DemandChange& change) const;
};

// A plan: the template scenario, the project it was made from, how its members were drawn and
// every member's values. Written and read as JSON; the same seed gives the same plan.
struct EnsemblePlan {
    QString projectFile; // the file's name, without its folder
    QByteArray inputHash; // lower-case hex SHA-256 of the input tables' rows
    int scenarioID = 0;
    QString scenarioName;
    QString method; // "lhs" or "uniform"
    std::uint64_t seed = 0;
    QList<Variation> vary;
    std::vector<std::vector<double>> values; // per member, one per variation

    int memberCount() const { return int(values.size()); }

    QJsonObject toJson() const;
    QByteArray toText() const; // indented JSON, as plan writes it
    // Reads a plan; what is wrong is said with where (the file's name).
    static TARN::okstat fromText(const QByteArray& text, const QString& where, EnsemblePlan& plan);
    // Lower-case hex SHA-256 of the plan's compact JSON.
    QByteArray hash() const;

    // Reads the variation file's "vary" list; file is its name in the messages.
    static TARN::okstat readSpec(
        const QByteArray& text, const QString& file, QList<Variation>& vary);
    // Finds each variation's change among the template's and checks that a varied year is one
    // the change has a value for.
    static TARN::okstat resolve(QList<Variation>& vary, const QList<EnsembleData::Change>& changes,
        const QString& scenarioName);
    // Draws the members' values.
    TARN::okstat draw(int members);

    // Whether the project open on db (its file named file) has the inputs the plan was made
    // from; a plan's values mean nothing for a project edited since.
    TARN::okstat checkProject(QSqlDatabase& db, const QString& file) const;

    // The member's values applied to a change as it is read for the calculation.
    void applyMember(int member, ScenarioChanges::DemandChange& change) const;
};

namespace ProjectIdentity {
// SHA-256 (lower-case hex) over the rows of the project's input tables, results excluded.
TARN::okstat inputHash(QSqlDatabase& db, QByteArray& hash);
} // namespace ProjectIdentity
