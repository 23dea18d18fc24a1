#include "ui/qt/report_list.h"

#include <QHeaderView>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace keldor::ui {

namespace {

QString qText(const Text& text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

constexpr int kIconSize = 16;

// A manila folder with a coloured mark that tells the kinds apart; the
// last kind, any other folder, has none.
QIcon folderIcon(int kindIndex) {
    QPixmap pixmap(kIconSize, kIconSize);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);

    QPainterPath folder;
    folder.moveTo(1.5, 4.5);
    folder.lineTo(6.0, 4.5);
    folder.lineTo(7.5, 3.0);
    folder.lineTo(14.5, 3.0);
    folder.lineTo(14.5, 13.5);
    folder.lineTo(1.5, 13.5);
    folder.closeSubpath();
    painter.setPen(QPen(QColor(0x9c, 0x7a, 0x1e), 1.0));
    painter.setBrush(QColor(0xf5, 0xd3, 0x6b));
    painter.drawPath(folder);
    painter.drawLine(QPointF(1.5, 6.0), QPointF(14.5, 6.0));

    static const QColor marks[] = {
        QColor(0x1f, 0x5f, 0xd0), // inbox
        QColor(0xe0, 0x7a, 0x10), // outbox
        QColor(0x2a, 0x9d, 0x3a), // sent items
        QColor(0xc8, 0x28, 0x28), // deleted items
        QColor(0x7a, 0x3c, 0xb8), // drafts
    };
    if (kindIndex >= 0 && kindIndex < static_cast<int>(std::size(marks))) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(marks[kindIndex]);
        painter.drawEllipse(QRectF(8.0, 7.5, 6.0, 6.0));
    }
    return QIcon(pixmap);
}

} // namespace

std::vector<QIcon> folderIcons() {
    std::vector<QIcon> icons;
    for (int kind = 0; kind < static_cast<int>(startup::FolderKind::Other); ++kind) {
        icons.push_back(folderIcon(kind));
    }
    return icons;
}

void setUpMailboxList(QTreeWidget& list) {
    list.setColumnCount(2);
    list.setHeaderLabels({QStringLiteral("DBXファイル名"), QStringLiteral("サイズ")});
    list.headerItem()->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    list.setRootIsDecorated(false);
    list.setItemsExpandable(false);
    list.setUniformRowHeights(true);
    list.setAllColumnsShowFocus(true);
    list.setSortingEnabled(false);
    list.setSelectionMode(QAbstractItemView::SingleSelection);
    list.setSelectionBehavior(QAbstractItemView::SelectRows);
    list.setEditTriggers(QAbstractItemView::NoEditTriggers);
    list.setIconSize(QSize(kIconSize, kIconSize));
    list.header()->setStretchLastSection(false);
    list.header()->setSectionResizeMode(0, QHeaderView::Stretch);
    list.header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
}

void addMailboxRows(QTreeWidget& list, const std::vector<startup::MailboxFile>& files,
                    const std::vector<QIcon>& icons) {
    for (const startup::MailboxFile& file : files) {
        auto* row = new QTreeWidgetItem(&list); // owned by the list
        row->setText(0, qText(file.name));
        const auto iconIndex = static_cast<std::size_t>(file.kind) - 1;
        if (iconIndex < icons.size()) {
            row->setIcon(0, icons[iconIndex]);
        }
        row->setText(1, qText(startup::formatKilobytes(file.size)));
        row->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    }
}

} // namespace keldor::ui
