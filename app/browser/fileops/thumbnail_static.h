#pragma once

#include <QFutureWatcher>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

#include "image/velvix.h"

// The picture box of the dialogs: one image file scaled into the box with a
// black frame round it. The file is decoded on a worker, so a large photo
// never holds up the dialog; the picture shows as soon as it is ready.
class CThumbnailStatic : public QWidget {
    Q_OBJECT
public:
    explicit CThumbnailStatic(QWidget* parent = nullptr);
    ~CThumbnailStatic() override;

    // Stores the path (also when it cannot be decoded) and starts decoding
    // it; Decoded() tells the result. False when the path is empty.
    bool SetFile(const QString& path);
    void Clear();
    QString GetFilePath() const { return m_strPath; }
    // "(w x h)" of the file's picture, "(0 x 0)" while there is none.
    QString GetResolutionText() const;
    // "1,234,567 byte(s)".
    QString GetSizeText() const;

    bool IsDecoding() const { return m_pWatcher != nullptr; }
    bool HasPicture() const { return m_Image.IsValidObject(); }

    // What the decoding worker hands over.
    struct SPicture;

    // Opens a path in a new image window (tests replace it).
    static std::function<void(const QString&)> s_pfnOpenViewer;

signals:
    void Decoded(bool ok);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void _OnDecoded();

    mutable CVelvix m_Image; // the picture reduced to about the box's size
    int m_nWidth = 0;
    int m_nHeight = 0;
    QString m_strPath;
    std::unique_ptr<QFutureWatcher<std::shared_ptr<SPicture>>> m_pWatcher;
};
