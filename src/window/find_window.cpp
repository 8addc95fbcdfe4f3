// SPDX-License-Identifier: GPL-3.0-or-later
#include "find_window.h"

#include "listening.h"

#include "category_tree.h"
#include "form1.h"
#include "station_editor.h"
#include "tree_view.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

namespace kelvaro {

namespace {

const QString kTitle = QStringLiteral("找电台");
const QString kAdd = QStringLiteral("添加到我的电台");
const QString kOwnGroup = QStringLiteral("我的电台");
const QString kDirectoryGroup = QStringLiteral("电台目录");
const QString kAllCountries = QStringLiteral("所有国家");
const QString kAllLanguages = QStringLiteral("所有语言");
const QString kAllTags = QStringLiteral("所有标签");
constexpr int kOwnLimit = 20;
constexpr int kPause = 350;  // ms of no typing before a search is sent

enum Column { NameColumn, CountryColumn, FormatColumn, TagsColumn, StateColumn, ColumnCount };

QString formatOf(const DirectoryStation &station)
{
    QString format = station.codec.trimmed().toUpper();
    if (station.bitrate > 0)
        format += (format.isEmpty() ? QString() : QStringLiteral(" ")) + QString::number(station.bitrate) + u'k';
    return format;
}

}  // namespace

FindWindow::FindWindow(Form1 &form, DirectoryClient *directory, QWidget *parent)
    : QWidget(parent, Qt::Window), form_(form), directory_(directory ? directory : new DirectoryClient(this))
{
    setWindowTitle(kTitle);
    setAccessibleName(kTitle);
    resize(640, 440);

    search_ = new QLineEdit(this);
    search_->setPlaceholderText(QStringLiteral("电台名称或拼音，按回车搜索"));
    search_->setAccessibleName(QStringLiteral("搜索"));
    search_->setClearButtonEnabled(true);
    search_->installEventFilter(this);

    country_ = new QComboBox(this);
    country_->setAccessibleName(QStringLiteral("国家"));
    country_->addItem(QStringLiteral("中国"), QStringLiteral("CN"));
    country_->addItem(kAllCountries, QString());
    language_ = new QComboBox(this);
    language_->setAccessibleName(QStringLiteral("语言"));
    language_->addItem(kAllLanguages, QString());
    tag_ = new QComboBox(this);
    tag_->setAccessibleName(QStringLiteral("标签"));
    tag_->addItem(kAllTags, QString());
    showBroken_ = new QCheckBox(QStringLiteral("显示失效的电台"), this);

    results_ = new QTreeWidget(this);
    results_->setAccessibleName(QStringLiteral("搜索结果"));
    results_->setColumnCount(ColumnCount);
    results_->setHeaderLabels({QStringLiteral("名称"), QStringLiteral("国家"), QStringLiteral("格式"),
                               QStringLiteral("标签"), QStringLiteral("状态")});
    results_->setRootIsDecorated(false);
    results_->setUniformRowHeights(true);
    results_->setAllColumnsShowFocus(true);
    results_->header()->setStretchLastSection(false);
    results_->header()->setSectionResizeMode(NameColumn, QHeaderView::Stretch);
    results_->setColumnWidth(CountryColumn, 70);
    results_->setColumnWidth(FormatColumn, 80);
    results_->setColumnWidth(TagsColumn, 140);
    results_->setColumnWidth(StateColumn, 50);
    results_->installEventFilter(this);
    ownGroup_ = new QTreeWidgetItem(results_, {kOwnGroup});
    directoryGroup_ = new QTreeWidgetItem(results_, {kDirectoryGroup});
    for (QTreeWidgetItem *group : {ownGroup_, directoryGroup_}) {
        group->setFlags(Qt::ItemIsEnabled);
        group->setFirstColumnSpanned(true);
        group->setExpanded(true);
        group->setHidden(true);
        QFont bold = group->font(0);
        bold.setBold(true);
        group->setFont(0, bold);
    }

    // The line's name is its message (no name of its own), so that Qt tells
    // screen readers of each new one, heard without moving the focus; its
    // description says which line it is.
    status_ = new QLabel(this);
    status_->setAccessibleDescription(QStringLiteral("状态"));
    listen_ = new QPushButton(QStringLiteral("收听"), this);
    category_ = new QComboBox(this);
    category_->setEditable(true);
    category_->setAccessibleName(QStringLiteral("添加到分类"));
    category_->setMinimumContentsLength(8);
    add_ = new QPushButton(kAdd, this);
    add_->setToolTip(QStringLiteral("Ctrl+D"));
    auto *addKey = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_D), this);
    connect(addKey, &QShortcut::activated, this, &FindWindow::addCurrent);

    auto *filters = new QHBoxLayout;
    filters->addWidget(country_);
    filters->addWidget(language_);
    filters->addWidget(tag_, 1);
    filters->addWidget(showBroken_);
    auto *actions = new QHBoxLayout;
    actions->addWidget(status_, 1);
    actions->addWidget(listen_);
    actions->addWidget(new QLabel(QStringLiteral("分类："), this));
    actions->addWidget(category_);
    actions->addWidget(add_);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(search_);
    layout->addLayout(filters);
    layout->addWidget(results_, 1);
    layout->addLayout(actions);

    debounce_ = new QTimer(this);
    debounce_->setSingleShot(true);
    debounce_->setInterval(kPause);
    connect(debounce_, &QTimer::timeout, this, [this] { searchNow(false); });
    connect(search_, &QLineEdit::textEdited, this, [this] {
        showOwnMatches();
        searchSoon();
    });
    connect(search_, &QLineEdit::returnPressed, this, [this] { searchNow(false); });
    for (QComboBox *filter : {country_, language_, tag_})
        connect(filter, &QComboBox::activated, this, [this] { searchNow(false); });
    connect(showBroken_, &QCheckBox::toggled, this, [this] { searchNow(false); });

    connect(results_, &QTreeWidget::itemActivated, this, &FindWindow::listenToCurrent);
    connect(results_, &QTreeWidget::currentItemChanged, this, &FindWindow::updateButtons);
    connect(results_->verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        if (more_ && searchNumber_ == 0 && value >= results_->verticalScrollBar()->maximum() - 2)
            searchNow(true);
    });
    connect(listen_, &QPushButton::clicked, this, &FindWindow::listenToCurrent);
    connect(add_, &QPushButton::clicked, this, &FindWindow::addCurrent);

    connect(directory_, &DirectoryClient::searchFinished, this, &FindWindow::directoryAnswered);
    connect(directory_, &DirectoryClient::searchFailed, this, &FindWindow::directoryFailed);
    connect(directory_, &DirectoryClient::filtersReady, this, &FindWindow::filtersReady);
    connect(&indexWatcher_, &QFutureWatcher<StationSearch>::finished, this, [this] {
        indexing_ = false;
        own_ = indexWatcher_.result();
        showOwnMatches();
    });
    updateButtons();
}

FindWindow::~FindWindow()
{
    indexWatcher_.waitForFinished();
}

void FindWindow::open()
{
    fillCategories();
    ensureIndex();
    show();
    setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    raise();
    activateWindow();
    search_->setFocus(Qt::OtherFocusReason);
    search_->selectAll();
}

void FindWindow::ensureIndex()
{
    // Made off the UI thread from the tree shown now, again after each edit
    // of the list; the search field keeps working meanwhile.
    if (indexing_ || indexedGeneration_ == form_.stationsGeneration())
        return;
    indexing_ = true;
    indexedGeneration_ = form_.stationsGeneration();
    PlainTree tree;
    fillCategoryTree(form_.stations(), tree);
    indexWatcher_.setFuture(QtConcurrent::run([nodes = tree.nodes()] { return StationSearch::index(nodes); }));
}

void FindWindow::showOwnMatches()
{
    ensureIndex();
    const QList<StationSearch::Station> found = own_.find(search_->text(), kOwnLimit);
    qDeleteAll(ownGroup_->takeChildren());
    for (const StationSearch::Station &station : found) {
        auto *row = new QTreeWidgetItem(ownGroup_);
        row->setText(NameColumn, station.name);
        row->setText(TagsColumn, QStringLiteral("分类：") + station.category);
        row->setData(0, AddressRole, station.address);
        row->setData(0, OwnRole, true);
        row->setToolTip(NameColumn, station.address);
    }
    ownGroup_->setHidden(found.isEmpty());
    updateButtons();
}

void FindWindow::searchSoon()
{
    if (search_->text().trimmed().isEmpty()) {
        // Nothing typed: no search; what the directory last showed goes.
        debounce_->stop();
        directory_->cancelSearch();
        searchNumber_ = 0;
        more_ = false;
        qDeleteAll(directoryGroup_->takeChildren());
        directoryGroup_->setHidden(true);
        showStatus({});
        return;
    }
    debounce_->start();
}

void FindWindow::searchNow(bool nextPage)
{
    debounce_->stop();
    DirectoryQuery query;
    query.name = search_->text().trimmed();
    query.countryCode = country_->currentData().toString();
    query.language = language_->currentData().toString();
    query.tag = tag_->currentData().toString();
    query.hideBroken = !showBroken_->isChecked();
    if (nextPage) {
        query.offset = query_.offset + query_.limit;
    } else if (query == query_ && searchNumber_ != 0) {
        return;  // the same search is already under way
    }
    query_ = query;
    searchNumber_ = directory_->search(query_);
    showStatus(QStringLiteral("正在搜索…"));
    if (!filtersAsked_) {
        // The filter lists, once the user has searched at all.
        filtersAsked_ = true;
        directory_->requestFilters(DirectoryClient::FilterKind::Countries);
        directory_->requestFilters(DirectoryClient::FilterKind::Languages);
        directory_->requestFilters(DirectoryClient::FilterKind::Tags);
    }
}

void FindWindow::directoryAnswered(int search, const QList<DirectoryStation> &stations, bool more)
{
    if (search != searchNumber_)
        return;
    searchNumber_ = 0;
    more_ = more;
    results_->setUpdatesEnabled(false);
    if (query_.offset == 0)
        qDeleteAll(directoryGroup_->takeChildren());
    QList<QTreeWidgetItem *> rows;
    rows.reserve(stations.size());
    for (const DirectoryStation &station : stations) {
        auto *row = new QTreeWidgetItem({station.name, station.countryCode, formatOf(station),
                                         station.tags.join(QStringLiteral(", ")),
                                         station.working ? QStringLiteral("可用") : QStringLiteral("失效")});
        row->setData(0, AddressRole, station.address);
        row->setData(0, UuidRole, station.uuid);
        row->setToolTip(NameColumn, station.name + u'\n' + station.address);
        rows.append(row);
    }
    directoryGroup_->addChildren(rows);
    directoryGroup_->setHidden(directoryGroup_->childCount() == 0);
    results_->setUpdatesEnabled(true);
    const int count = directoryGroup_->childCount();
    showStatus(count == 0 ? QStringLiteral("电台目录中没有找到电台")
                          : QStringLiteral("电台目录中找到 %1 个电台%2").arg(count).arg(more ? QStringLiteral("，向下滚动查看更多") : QString()));
    updateButtons();
    emit resultsShown();
}

void FindWindow::directoryFailed(int search, const QString &message)
{
    if (search != searchNumber_)
        return;
    searchNumber_ = 0;
    more_ = false;
    showStatus(message);
    emit resultsShown();
}

void FindWindow::filtersReady(DirectoryClient::FilterKind kind, const QList<DirectoryFilter> &filters)
{
    QComboBox *box = kind == DirectoryClient::FilterKind::Countries ? country_
                   : kind == DirectoryClient::FilterKind::Languages ? language_
                                                                   : tag_;
    const QVariant chosen = box->currentData();
    const QSignalBlocker quiet(box);
    while (box->count() > (box == country_ ? 2 : 1))
        box->removeItem(box->count() - 1);
    for (const DirectoryFilter &filter : filters) {
        const QString value = kind == DirectoryClient::FilterKind::Countries ? filter.code : filter.name;
        if (value.isEmpty() || box->findData(value) >= 0)
            continue;
        box->addItem(kind == DirectoryClient::FilterKind::Countries ? filter.name + QStringLiteral(" (") + filter.code + u')'
                                                                    : filter.name,
                     value);
    }
    box->setCurrentIndex(std::max(0, box->findData(chosen)));
}

QTreeWidgetItem *FindWindow::currentStation() const
{
    QTreeWidgetItem *item = results_->currentItem();
    return item && item->parent() ? item : nullptr;
}

void FindWindow::listenToCurrent()
{
    QTreeWidgetItem *item = currentStation();
    if (!item)
        return;
    const QString address = item->data(0, AddressRole).toString();
    if (item->data(0, OwnRole).toBool()) {
        form_.listening().chooseListed(address);
        return;
    }
    form_.listening().choose({address, item->text(NameColumn), {}});
    directory_->countListen(item->data(0, UuidRole).toString());
}

void FindWindow::addCurrent()
{
    QTreeWidgetItem *item = currentStation();
    StationEditor *editor = form_.editor();
    if (!item || item->data(0, OwnRole).toBool() || !editor)
        return;
    const QString category = category_->currentText().trimmed();
    if (category.isEmpty()) {
        showStatus(QStringLiteral("请选择或输入一个分类"));
        category_->setFocus();
        return;
    }
    const StationRecord station{item->text(NameColumn), item->data(0, AddressRole).toString(), QString()};
    lastCategory_ = category;
    // One edit: a new category (typed into the box) is made first.
    const auto add = [category, station](StationDocument &document) {
        if (!document.category(category)) {
            const StationEdit made = document.addCategory(category);
            if (!made.ok)
                return made;
        }
        return document.addStation(category, -1, station);
    };
    editor->apply(add, [self = QPointer<FindWindow>(this), station, category](const StationListStore::Outcome &outcome) {
        if (!self)
            return;
        if (outcome.kind == StationListStore::Outcome::Kind::Saved)
            self->showStatus(QStringLiteral("已将“%1”添加到“%2”").arg(station.name, category));
        self->fillCategories();
    });
}

void FindWindow::fillCategories()
{
    const QString typed = category_->currentText();
    category_->clear();
    const StationTable &table = form_.stations();
    for (int n = 1, used = table.usedRows(); n <= used; ++n) {
        if (table.row(n).address == kCategorySentinel && category_->findText(table.row(n).name) < 0)
            category_->addItem(table.row(n).name);
    }
    const QString wanted = !lastCategory_.isEmpty() ? lastCategory_ : typed;
    const int at = category_->findText(wanted);
    if (at >= 0)
        category_->setCurrentIndex(at);
    else
        category_->setEditText(wanted.isEmpty() && category_->count() > 0 ? category_->itemText(0) : wanted);
}

void FindWindow::updateButtons()
{
    QTreeWidgetItem *item = currentStation();
    listen_->setEnabled(item != nullptr);
    add_->setEnabled(item != nullptr && !item->data(0, OwnRole).toBool() && form_.editor() != nullptr);
}

void FindWindow::showStatus(const QString &text)
{
    status_->setText(text);
}

bool FindWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return QWidget::eventFilter(watched, event);
    const auto *key = static_cast<QKeyEvent *>(event);
    if (watched == search_ && key->key() == Qt::Key_Down) {
        // Down from the search field goes to the first result.
        for (QTreeWidgetItem *group : {ownGroup_, directoryGroup_}) {
            if (!group->isHidden() && group->childCount() > 0) {
                results_->setCurrentItem(group->child(0));
                results_->setFocus(Qt::TabFocusReason);
                return true;
            }
        }
    } else if (watched == results_ && (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)) {
        listenToCurrent();
        return true;
    } else if (watched == results_ && key->key() == Qt::Key_Insert) {
        addCurrent();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace kelvaro
