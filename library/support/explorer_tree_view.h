#pragma once

#include <QString>
#include <QTreeWidget>

#include "velvix_export.h"

// A folder tree: the root folder, the home folder and the mounted volumes
// at the top; folders are listed when they are first expanded. Removable
// and network volumes are not touched until the user expands them.
class VELVIX_EXPORT CVxExplorerTreeView : public QTreeWidget {
    Q_OBJECT
public:
    explicit CVxExplorerTreeView(QWidget* parent = nullptr);

    // Builds the roots, then expands down to `folder` and selects it.
    void Populate(const QString& folder);
    // Expands the tree down to `folder` and selects it; false when it is
    // not below any root.
    bool SelectFolder(const QString& folder);
    // The full path of an item.
    static QString ItemPath(const QTreeWidgetItem* item);

    // The kind of a mounted volume: 0 fixed, 1 removable, 2 optical,
    // 3 network. `device` is the mounted device, `fileSystem` its type.
    static int VolumeKind(const QByteArray& device, const QByteArray& fileSystem);

protected:
    // A folder was selected (by the user or by SelectFolder).
    virtual void OnSelectFolder(const QString& path);
    void keyPressEvent(QKeyEvent* event) override;

private:
    QTreeWidgetItem* _AddFolder(QTreeWidgetItem* parent, const QString& path, const QString& text, bool lazy);
    void _Fill(QTreeWidgetItem* item);
    static bool _HasSubfolder(const QString& path);
    void _OnSelectionChanged();
};
