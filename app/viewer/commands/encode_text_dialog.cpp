#include "encode_text_dialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QVBoxLayout>

#include "effect_runner.h"
#include "image/velvix_buffer.h"
#include "message_text.h"

const char* const kEncodeTextLatin1Only =
    "The text cannot be hidden: \"%1\" is not one of the characters an image can hold (Latin-1).";
const char* const kEncodeTextFailed = "The text could not be hidden in this picture.";
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

// The picture the text goes into or comes from: the selection, or the image.
CVelvix TextTarget(CVelvixBuffer& ring, const VxRect* selection, bool& useSelection)
{
    CVelvix target;
    useSelection = selection && !selection->IsEmpty();
    if (useSelection) {
        const VxRect area{std::max(0, selection->left), std::max(0, selection->top),
                          std::min(ring->GetWidth(), selection->right), std::min(ring->GetHeight(), selection->bottom)};
        useSelection = !area.IsEmpty() && target.CopyFromRect(*ring, &area, nullptr, true);
    }
    if (!useSelection)
        target = *ring;
    return target;
}

} // namespace

bool EncodeTextCommand(CVelvixBuffer& ring, const VxRect* selection, CLastEffect& last, QWidget* parent,
                       const std::function<void()>& starting)
{
    if (!ring->IsValidObject())
        return false;
    bool useSelection = false;
    CVelvix target = TextTarget(ring, selection, useSelection);
    const int capacity = target.GetEncodeTextCapacity();
    if (capacity <= 1) {
        QApplication::beep();
        return false;
    }
    std::string existing;
    if (target.DecodeText(existing))
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
    CVelvix target = TextTarget(ring, selection, useSelection);
    std::string text;
    if (target.DecodeText(text)) {
        // The text comes from the picture's file: it is shown as it is, never
        // as markup (which could make the box load any file), and a long one
        // is shown in part, with the whole of it under "Show Details".
        const QString decoded = QString::fromLatin1(text.data(), qsizetype(text.size()));
        QMessageBox box(QMessageBox::Information, QApplication::applicationDisplayName(),
                        MessageExcerpt(decoded, kDecodedShown, kDecodedLines), QMessageBox::Ok, parent);
        box.setTextFormat(Qt::PlainText);
        if (box.text() != decoded)
            box.setDetailedText(decoded);
        box.exec();
    } else
        QMessageBox::information(parent, QObject::tr("Image not encoded"),
                                 QObject::tr("This image does not appear to contain encoded text..."));
}
