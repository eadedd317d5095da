#pragma once

#include <QDialog>

#include <functional>

class QLabel;
class QPlainTextEdit;

// "Encode Text": a multi-line field limited to the capacity of the picture,
// with the number of characters typed so far.
class CEncodeTextDialog : public QDialog {
    Q_OBJECT
public:
    CEncodeTextDialog(int maximum, QWidget* parent = nullptr);

    QString Text() const;
    QPlainTextEdit* Field() const { return m_pField; }
    QLabel* TypedLabel() const { return m_pTyped; }

private:
    void OnTextChanged();

    int m_nMaximum;
    QPlainTextEdit* m_pField;
    QLabel* m_pTyped;
};

class CEffectRunner;
class CVelvixBuffer;
struct CLastEffect;
struct VxRect;

// The commands "Encode Text" and "Decode Text" of an image window. Both use
// the selection when there is one, so that text hidden in a selection can be
// read back from the same selection.
// "%1": the first character refused.
extern const char* const kEncodeTextLatin1Only;
extern const char* const kEncodeTextFailed;
extern const char* const kTextShortOfMemory;
// How much of a decoded text its message box shows before "Show Details".
extern const int kDecodedShown;
extern const int kDecodedLines;

bool EncodeTextCommand(CVelvixBuffer& ring, const VxRect* selection, CLastEffect& last, QWidget* parent,
                       const std::function<void()>& starting = {});
void DecodeTextCommand(CVelvixBuffer& ring, const VxRect* selection, QWidget* parent);
