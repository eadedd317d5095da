#include "encode_text_dialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QVBoxLayout>

#include <new>

#include "effect_runner.h"
#include "image/velvix_buffer.h"
#include "message_text.h"

const char* const kEncodeTextLatin1Only =
    "The text cannot be hidden: \"%1\" is not one of the characters an image can hold (Latin-1).";
const char* const kEncodeTextFailed = "The text could not be hidden in this picture.";
const char* const kTextShortOfMemory = "There is not enough memory to look for hidden text in this picture.";
const int kDecodedShown = 500;
const int kDecodedLines = 12;

CEncodeTextDialog::CEncodeTextDialog(int maximum, QWidget* parent)
    : QDialog(parent), m_nMaximum(maximum), m_pField(new QPlainTextEdit(this)), m_pTyped(new QLabel(this))
{
    setWindowTitle(tr("Encode Text"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pField);
    auto* counts = new QFormLayout;
    counts->addRow(tr("Max characters:"), new QLabel(QString::asprintf("%i", maximum), this));
    counts->addRow(tr("Characters typed:"), m_pTyped);
    layout->addLayout(counts);
    layout->addWidget(new QLabel(tr("Note: this only works with bitmap images (.BMP, .PNG)"), this));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    connect(m_pField, &QPlainTextEdit::textChanged, this, &CEncodeTextDialog::OnTextChanged);
    OnTextChanged();
}

QString CEncodeTextDialog::Text() const
{
    // The plain text form would give a no-break space as a space: the raw
    // one keeps it, and only its line and paragraph breaks become '\n'.
    QString text = m_pField->document()->toRawText();
    return text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'))
        .replace(QChar::LineSeparator, QLatin1Char('\n'));
}

void CEncodeTextDialog::OnTextChanged()
{
    QString text = Text();
    if (text.size() > m_nMaximum) {
        // Cut what was typed or pasted beyond the limit, keeping the cursor.
        QTextCursor cursor = m_pField->textCursor();
        const int position = std::min(int(cursor.position()), m_nMaximum);
        const QSignalBlocker blocker(m_pField);
        m_pField->setPlainText(text.left(m_nMaximum));
        cursor = m_pField->textCursor();
        cursor.setPosition(position);
        m_pField->setTextCursor(cursor);
        text = Text();
    }
    m_pTyped->setText(QString::asprintf("%i", int(text.size())));
}

namespace {

// The picture the text goes into or comes from: a copy of the selected part,
// or the image itself (only read here). Null when the part cannot be copied
// for want of memory: the whole picture is never taken in its place.
CVelvix* TextTarget(CVelvixBuffer& ring, const VxRect* selection, CVelvix& part, bool& useSelection)
{
    useSelection = selection && !selection->IsEmpty();
    if (useSelection) {
        const VxRect area{std::max(0, selection->left), std::max(0, selection->top),
                          std::min(ring->GetWidth(), selection->right), std::min(ring->GetHeight(), selection->bottom)};
        useSelection = !area.IsEmpty();
        if (useSelection)
            return part.CopyFromRect(*ring, &area, nullptr, true) ? &part : nullptr;
    }
    return &*ring;
}

// Reads the text hidden in the target; throws std::bad_alloc when the part
// or the text cannot be had.
bool FindText(CVelvixBuffer& ring, const VxRect* selection, bool& useSelection, int* capacity, std::string& text)
{
    CVelvix part;
    CVelvix* target = TextTarget(ring, selection, part, useSelection);
    if (!target)
        throw std::bad_alloc();
    if (capacity)
        *capacity = target->GetEncodeTextCapacity();
    return target->DecodeText(text);
}

void TellShortOfMemory(QWidget* parent)
{
    QMessageBox::warning(parent, QApplication::applicationName(), QString::fromLatin1(kTextShortOfMemory));
}

} // namespace

bool EncodeTextCommand(CVelvixBuffer& ring, const VxRect* selection, CLastEffect& last, QWidget* parent,
                       const std::function<void()>& starting)
{
    if (!ring->IsValidObject())
        return false;
    bool useSelection = false;
    int capacity = 0;
    bool alreadyEncoded = false;
    try {
        std::string existing;
        alreadyEncoded = FindText(ring, selection, useSelection, &capacity, existing);
    } catch (const std::bad_alloc&) {
        TellShortOfMemory(parent);
        return false;
    }
    if (capacity <= 1) {
        QApplication::beep();
        return false;
    }
    if (alreadyEncoded)
        QMessageBox::warning(parent, QObject::tr("Image already encoded"),
                             QObject::tr("This image already contains encoded text, \nit is advised not to add "
                                         "encoded text to an image more than once, start with a fresh copy."));
    CEncodeTextDialog dialog(capacity, parent);
    if (dialog.exec() != QDialog::Accepted || dialog.Text().isEmpty())
        return false;
    // Hidden text is stored one byte per character, in Latin-1: any other
    // character would come back as something else.
    const QString typed = dialog.Text();
    for (const QChar c : typed)
        if (c.unicode() > 0xFF) {
            QMessageBox::warning(parent, QApplication::applicationName(), QString::fromLatin1(kEncodeTextLatin1Only).arg(c));
            return false;
        }
    const QByteArray bytes = typed.toLatin1();
    const std::string text(bytes.constData(), std::size_t(bytes.size()));
    if (starting)
        starting();
    const bool encoded = CEffectRunner::Apply(ring, useSelection ? selection : nullptr, parent,
                                              [text](CVelvix& image) { return image.EncodeText(text); });
    if (!encoded) {
        QMessageBox::warning(parent, QApplication::applicationName(), QString::fromLatin1(kEncodeTextFailed));
        return false;
    }
    last.Clear();  // encoding cannot be repeated
    return true;
}

void DecodeTextCommand(CVelvixBuffer& ring, const VxRect* selection, QWidget* parent)
{
    if (!ring->IsValidObject())
        return;
    bool useSelection = false;
    bool found = false;
    QString decoded, shown;
    try {
        std::string text;
        found = FindText(ring, selection, useSelection, nullptr, text);
        decoded = QString::fromLatin1(text.data(), qsizetype(text.size()));
        shown = MessageExcerpt(decoded, kDecodedShown, kDecodedLines);
    } catch (const std::bad_alloc&) {
        TellShortOfMemory(parent);
        return;
    }
    if (found) {
        // The text comes from the picture's file: it is shown as it is, never
        // as markup (which could make the box load any file), and a long one
        // is shown in part, with the whole of it under "Show Details".
        QMessageBox box(QMessageBox::Information, QApplication::applicationDisplayName(), shown, QMessageBox::Ok,
                        parent);
        box.setTextFormat(Qt::PlainText);
        if (box.text() != decoded)
            box.setDetailedText(decoded);
        box.exec();
    } else
        QMessageBox::information(parent, QObject::tr("Image not encoded"),
                                 QObject::tr("This image does not appear to contain encoded text..."));
}
