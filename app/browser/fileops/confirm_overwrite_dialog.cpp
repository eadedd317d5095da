#include "confirm_overwrite_dialog.h"

#include <QDateTime>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "native_path.h"
#include "safe_file_io.h"
#include "thumbnail_static.h"

CConfirmOverwriteDialog::CConfirmOverwriteDialog(const QString& source, const QString& target, QWidget* parent)
    : QDialog(parent), m_pSource(new CThumbnailStatic(this)), m_pTarget(new CThumbnailStatic(this)),
      m_pSourceSize(new QLabel(SizeText(source), this)), m_pTargetSize(new QLabel(SizeText(target), this)),
      m_pSourceDate(new QLabel(DateText(source), this)), m_pTargetDate(new QLabel(DateText(target), this))
{
    setWindowTitle(tr("Confirm file overwrite"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(tr("Do you want to replace the destination file ?"), this));
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(tr("Source File"), this), 0, 0, 1, 2);
    grid->addWidget(new QLabel(tr("Destination File"), this), 0, 2, 1, 2);
    grid->addWidget(m_pSource, 1, 0, 1, 2);
    grid->addWidget(m_pTarget, 1, 2, 1, 2);
    for (int column : {0, 2}) {
        grid->addWidget(new QLabel(tr("Size:"), this), 2, column);
        grid->addWidget(new QLabel(tr("Date:"), this), 3, column);
    }
    grid->addWidget(m_pSourceSize, 2, 1);
    grid->addWidget(m_pTargetSize, 2, 3);
    grid->addWidget(m_pSourceDate, 3, 1);
    grid->addWidget(m_pTargetDate, 3, 3);
    grid->setRowStretch(1, 1);
    layout->addLayout(grid, 1);
    m_pSource->setMinimumSize(240, 200);
    m_pTarget->setMinimumSize(240, 200);

    auto* row = new QHBoxLayout;
    row->addStretch();
    const char* const texts[4] = {"&Overwrite", "Cancel", "&Auto rename", "&Rename"};
    for (int i = 0; i < 4; ++i) {
        m_pButtons[i] = new QPushButton(tr(texts[i]), this);
        m_pButtons[i]->setAutoDefault(false);
        row->addWidget(m_pButtons[i]);
        connect(m_pButtons[i], &QPushButton::clicked, this, [this, i] { done(i + 1); });
    }
    // Enter keeps both files.
    m_pButtons[kCancel - 1]->setDefault(true);
    layout->addLayout(row);
    resize(560, 360);
    // The boxes know their size only now; the pictures decode meanwhile.
    m_pSource->resize(m_pSource->minimumSize());
    m_pTarget->resize(m_pTarget->minimumSize());
    m_pSource->SetFile(source);
    m_pTarget->SetFile(target);
}

QPushButton* CConfirmOverwriteDialog::Button(int number) const
{
    return number >= 1 && number <= 4 ? m_pButtons[number - 1] : nullptr;
}

void CConfirmOverwriteDialog::reject()
{
    done(kCancel);
}

QString CConfirmOverwriteDialog::SizeText(const QString& path)
{
    return QStringLiteral("%1 bytes").arg(vxfile::Stat(NativePath(path)).size);
}

QString CConfirmOverwriteDialog::DateText(const QString& path)
{
    const QFileInfo info(path);
    // Not every file system keeps the creation time; then the last change.
    QDateTime time = info.birthTime();
    if (!time.isValid())
        time = info.lastModified();
    time = time.toUTC();
    const QDate day = time.date();
    const QTime clock = time.time();
    return QStringLiteral("%1-%2-%3 %4:%5:%6")
        .arg(day.day())
        .arg(day.month())
        .arg(day.year())
        .arg(clock.hour())
        .arg(clock.minute())
        .arg(clock.second());
}
