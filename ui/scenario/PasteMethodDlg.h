#pragma once

#include <QDialog>
#include <QVector>

namespace Ui {
class PasteMethodWidgets;
}

// Asks how the clipboard's values are to be read (percent changes, amount changes, new amounts
// or baseline years) and reads one value per line, exactly as many as years are selected.
class PasteMethodDlg : public QDialog {
    Q_OBJECT

public:
    explicit PasteMethodDlg(int expectedCount, QWidget* parent = nullptr);
    ~PasteMethodDlg() override;

    // After acceptance: the chosen change type id and the values in clipboard order.
    int changeTypeId() const;
    const QVector<double>& values() const { return _values; }

public slots:
    void okHandler(bool checked = false);

private:
    void showError(const QString& message, const QString& clipboardText);

    Ui::PasteMethodWidgets* _ui;
    int _expectedCount;
    QVector<double> _values;
};
