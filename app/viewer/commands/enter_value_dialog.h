#pragma once

#include <QDialog>

class QLineEdit;
class QLabel;

// "Enter Value": one prompt, one field, OK and Cancel. Holds a double when
// its initial double is not 0, otherwise an integer; with a range (minimum
// different from maximum) it stays open until the value lies inside it.
class CEnterValueDialog : public QDialog {
    Q_OBJECT
public:
    CEnterValueDialog(const QString& prompt, int value, int minimum, int maximum, QWidget* parent = nullptr);
    CEnterValueDialog(const QString& prompt, double value, double minimum, double maximum,
                      QWidget* parent = nullptr);

    int IntValue() const { return m_nValue; }
    double DoubleValue() const { return m_dValue; }
    bool IsDouble() const { return m_bDouble; }
    QLineEdit* Field() const { return m_pField; }

    void accept() override;

private:
    void Build(const QString& prompt, const QString& text);
    bool ReadField();

    bool m_bDouble;
    int m_nValue = 0, m_nMinimum = 0, m_nMaximum = 0;
    double m_dValue = 0, m_dMinimum = 0, m_dMaximum = 0;
    QLineEdit* m_pField = nullptr;
};
