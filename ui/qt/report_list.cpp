#include "ui/qt/report_list.h"

#include "ui/captions.h"
#include "ui/folder_icons.h"
#include "ui/qt/qt_text.h"

#include <QHeaderView>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace keldor::ui {

namespace {

QColor qtColour(Colour colour) {
    return QColor(static_cast<int>(redOf(colour)), static_cast<int>(greenOf(colour)),
                  static_cast<int>(blueOf(colour)));
}

QPointF qtPoint(const IconPoint& point) {
    return QPointF(point.x, point.y);
}

QIcon folderIcon(std::size_t index) {
    QPixmap pixmap(kFolderIconSize, kFolderIconSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);

    QPainterPath folder;
    folder.moveTo(qtPoint(kFolderOutline[0]));
    for (std::size_t i = 1; i < std::size(kFolderOutline); ++i) {
        folder.lineTo(qtPoint(kFolderOutline[i]));
    }
    folder.closeSubpath();
    painter.setPen(QPen(qtColour(kFolderEdgeColour), 1.0));
    painter.setBrush(qtColour(kFolderFillColour));
    painter.drawPath(folder);
    painter.drawLine(qtPoint(kFolderTabLine[0]), qtPoint(kFolderTabLine[1]));

    if (const std::optional<Colour> mark = folderMarkColour(index)) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(qtColour(*mark));
        painter.drawEllipse(
            QRectF(kFolderMarkLeft, kFolderMarkTop, kFolderMarkSize, kFolderMarkSize));
    }
    return QIcon(pixmap);
}

} // namespace

std::vector<QIcon> folderIcons() {
    std::vector<QIcon> icons;
    for (std::size_t index = 0; index < kFolderIconCount; ++index) {
        icons.push_back(folderIcon(index));
    }
    return icons;
}

void setUpMailboxList(QTreeWidget& list) {
    list.setColumnCount(2);
    list.setHeaderLabels(
        {toQString(picker_captions::nameColumn), toQString(picker_captions::sizeColumn)});
    list.headerItem()->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    list.setRootIsDecorated(false);
    list.setItemsExpandable(false);
    list.setUniformRowHeights(true);
    list.setAllColumnsShowFocus(true);
    list.setSortingEnabled(false);
    list.setSelectionMode(QAbstractItemView::SingleSelection);
    list.setSelectionBehavior(QAbstractItemView::SelectRows);
    list.setEditTriggers(QAbstractItemView::NoEditTriggers);
    list.setIconSize(QSize(kFolderIconSize, kFolderIconSize));
    list.header()->setStretchLastSection(false);
    list.header()->setSectionResizeMode(0, QHeaderView::Stretch);
    list.header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
}

void addMailboxRows(QTreeWidget& list, const std::vector<PickerRow>& rows,
                    const std::vector<QIcon>& icons) {
    for (const PickerRow& source : rows) {
        auto* row = new QTreeWidgetItem(&list); // owned by the list
        row->setText(0, toQString(source.name));
        if (source.icon < icons.size()) {
            row->setIcon(0, icons[source.icon]);
        }
        row->setText(1, toQString(source.size));
        row->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    }
}

} // namespace keldor::ui
