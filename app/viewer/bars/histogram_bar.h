#pragma once

#include "update_dialog_bar.h"

#include <array>

class QCheckBox;

// The histogram bar's contents: red, green and blue counts of the followed
// image as curves, each shown while its check box is on. The check boxes
// are kept in the settings group "HistogramBar".
class CHistogramDialogBar : public CUpdateDialogBar {
    Q_OBJECT
public:
    using Counts = std::array<unsigned, 256>;

    explicit CHistogramDialogBar(QWidget* parent = nullptr);
    ~CHistogramDialogBar() override;

    void SetHistogram(const Counts& red, const Counts& green, const Counts& blue);
    void SetEmpty();
    bool IsEmpty() const { return m_bEmpty; }
    unsigned LargestCount() const { return m_nLargest; }
    QCheckBox* ChannelBox(int channel) const { return m_pBoxes[channel]; }

    // Height of the curve line for a count (0 when nothing was counted).
    static int CurveHeight(unsigned count, unsigned largest);

protected:
    void Recompute(CBarImageSource& source) override;
    void Clear() override { SetEmpty(); }
    void paintEvent(QPaintEvent* event) override;

private:
    void ReadCheckStates();
    void WriteCheckStates() const;

    std::array<Counts, 3> m_Counts{};
    unsigned m_nLargest = 0;
    bool m_bEmpty = true;
    std::array<QCheckBox*, 3> m_pBoxes{};
};
