#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;

// "Resample": new size by pixels or by ratio, with an aspect lock. The four
// fields follow each other as the user types; the field being typed is left
// alone.
class CResampleDialog : public QDialog {
    Q_OBJECT
public:
    CResampleDialog(int width, int height, QWidget* parent = nullptr);

    int NewWidth() const { return m_nNewWidth; }
    int NewHeight() const { return m_nNewHeight; }
    double WidthRatio() const { return m_dWidthRatio; }
    double HeightRatio() const { return m_dHeightRatio; }
    int Filter() const { return m_nFilter; }  // 0 bilinear, 1 B-spline

    QLineEdit* NewWidthField() const { return m_pNewWidth; }
    QLineEdit* NewHeightField() const { return m_pNewHeight; }
    QLineEdit* WidthRatioField() const { return m_pWidthRatio; }
    QLineEdit* HeightRatioField() const { return m_pHeightRatio; }
    QCheckBox* LockBox() const { return m_pLock; }
    QComboBox* FilterList() const { return m_pFilter; }

    void accept() override;

private:
    void OnNewWidth();
    void OnNewHeight();
    void OnWidthRatio();
    void OnHeightRatio();
    void Show(QLineEdit* field, double value);
    bool Locked() const;

    const int m_nWidth, m_nHeight;
    int m_nNewWidth, m_nNewHeight;
    double m_dWidthRatio = 1.0, m_dHeightRatio = 1.0;
    int m_nFilter = 0;
    bool m_bUpdating = false;
    QLineEdit *m_pNewWidth, *m_pNewHeight, *m_pWidthRatio, *m_pHeightRatio;
    QCheckBox* m_pLock;
    QComboBox* m_pFilter;
};
