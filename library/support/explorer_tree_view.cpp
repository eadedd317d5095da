#include "support/explorer_tree_view.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileIconProvider>
#include <QKeyEvent>
#include <QStorageInfo>

#include <algorithm>

namespace {

constexpr int kPathRole = Qt::UserRole;
constexpr int kFilledRole = Qt::UserRole + 1;

bool IsPlaceholder(const QTreeWidgetItem* item)
{
    return item->childCount() == 1 && item->child(0)->data(0, kPathRole).toString().isEmpty();
}

} // namespace

CVxExplorerTreeView::CVxExplorerTreeView(QWidget* parent) : QTreeWidget(parent)
{
    setHeaderHidden(true);
    setRootIsDecorated(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformRowHeights(true);
    connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) { _Fill(item); });
    connect(this, &QTreeWidget::itemSelectionChanged, this, &CVxExplorerTreeView::_OnSelectionChanged);
}

int CVxExplorerTreeView::VolumeKind(const QByteArray& device, const QByteArray& fileSystem)
{
    static const char* const kNetwork[] = {"nfs", "nfs4", "cifs", "smb3", "smbfs", "fuse.sshfs", "sshfs",
                                           "davfs", "fuse.davfs2", "9p", "afs", "ceph", "glusterfs", "fuse.rclone"};
    for (const char* kind : kNetwork)
        if (fileSystem == kind)
            return 3;
    if (fileSystem == "iso9660" || fileSystem == "udf" || device.startsWith("/dev/sr"))
        return 2;
    // The kernel says whether the disk of a /dev/sdXN device is removable.
    if (device.startsWith("/dev/")) {
        QByteArray disk = device.mid(5);
        if (disk.startsWith("sd"))
            while (!disk.isEmpty() && disk.back() >= '0' && disk.back() <= '9')
                disk.chop(1);
        else if (disk.startsWith("mmcblk"))
            disk = disk.left(disk.indexOf('p') > 0 ? disk.indexOf('p') : disk.size());
        QFile removable(QStringLiteral("/sys/block/%1/removable").arg(QString::fromLatin1(disk)));
        if (!disk.isEmpty() && !disk.contains('/') && removable.open(QIODevice::ReadOnly) &&
            removable.read(1) == "1")
            return 1;
    }
    return 0;
}

bool CVxExplorerTreeView::_HasSubfolder(const QString& path)
{
    QDirIterator it(path, QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
    return it.hasNext();
}

QTreeWidgetItem* CVxExplorerTreeView::_AddFolder(QTreeWidgetItem* parent, const QString& path, const QString& text,
                                                 bool lazy)
{
    auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(this);
    item->setText(0, text);
    item->setData(0, kPathRole, path);
    static const QFileIconProvider icons;
    item->setIcon(0, icons.icon(parent ? QFileIconProvider::Folder : QFileIconProvider::Drive));
    // A placeholder child gives the expand button without listing now.
    if (lazy || _HasSubfolder(path))
        new QTreeWidgetItem(item);
    return item;
}

void CVxExplorerTreeView::Populate(const QString& folder)
{
    clear();
    QStringList roots{QStringLiteral("/"), QDir::homePath()};
    QList<bool> lazy{false, false};
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        const QString root = volume.rootPath();
        if (!volume.isValid() || roots.contains(root) || volume.fileSystemType().startsWith("proc") ||
            root.startsWith(QStringLiteral("/proc")) || root.startsWith(QStringLiteral("/sys")) ||
            (root.startsWith(QStringLiteral("/dev")) && root != QStringLiteral("/dev")) ||
            root.startsWith(QStringLiteral("/run/user")) || volume.fileSystemType() == "tmpfs" ||
            volume.fileSystemType() == "overlay" || root == QStringLiteral("/dev"))
            continue;
        roots << root;
        lazy << (VolumeKind(volume.device(), volume.fileSystemType()) != 0);
    }
    for (int i = 0; i < roots.size(); ++i)
        _AddFolder(nullptr, roots[i], roots[i], lazy[i]);
    SelectFolder(folder);
}

void CVxExplorerTreeView::_Fill(QTreeWidgetItem* item)
{
    if (item->data(0, kFilledRole).toBool())
        return;
    item->setData(0, kFilledRole, true);
    const QString path = item->data(0, kPathRole).toString();
    const bool wasPlaceholder = IsPlaceholder(item);
    QDir dir(path);
    QStringList names;
    if (dir.isReadable())
        names = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
    const bool listed = dir.isReadable() && dir.exists();
    if (wasPlaceholder)
        delete item->takeChild(0);
    if (!listed) {
        new QTreeWidgetItem(item); // could not be listed
        return;
    }
    for (const QString& name : names)
        _AddFolder(item, path == QStringLiteral("/") ? QLatin1Char('/') + name : path + QLatin1Char('/') + name, name,
                   false);
}

QString CVxExplorerTreeView::ItemPath(const QTreeWidgetItem* item)
{
    return item ? item->data(0, kPathRole).toString() : QString();
}

bool CVxExplorerTreeView::SelectFolder(const QString& folder)
{
    const QString target = QDir::cleanPath(QDir(folder).absolutePath());
    // The deepest root that holds the folder.
    QTreeWidgetItem* node = nullptr;
    for (int i = 0; i < topLevelItemCount(); ++i) {
        const QString root = ItemPath(topLevelItem(i));
        const bool holds = target == root || target.startsWith(root == QStringLiteral("/") ? root : root + '/');
        if (holds && (!node || root.size() > ItemPath(node).size()))
            node = topLevelItem(i);
    }
    if (!node)
        return false;
    while (ItemPath(node) != target) {
        _Fill(node);
        node->setExpanded(true);
        QTreeWidgetItem* next = nullptr;
        for (int i = 0; i < node->childCount() && !next; ++i) {
            const QString path = ItemPath(node->child(i));
            if (!path.isEmpty() && (target == path || target.startsWith(path + '/')))
                next = node->child(i);
        }
        if (!next)
            break;
        node = next;
    }
    setCurrentItem(node);
    scrollToItem(node);
    return ItemPath(node) == target;
}

void CVxExplorerTreeView::_OnSelectionChanged()
{
    QTreeWidgetItem* item = currentItem();
    const QString path = ItemPath(item);
    if (item && item->isSelected() && !path.isEmpty())
        OnSelectFolder(path);
}

void CVxExplorerTreeView::OnSelectFolder(const QString& /*path*/) {}

void CVxExplorerTreeView::keyPressEvent(QKeyEvent* event)
{
    // '*' would expand every folder below, listing all of them on this
    // thread: the whole disk under the root folder, and for ever round a
    // linked folder that holds itself. It opens the current folder only.
    if (event->key() == Qt::Key_Asterisk) {
        if (QTreeWidgetItem* item = currentItem())
            item->setExpanded(true);
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}
