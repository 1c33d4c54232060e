#include "history/ui/HistoryWindow.h"

#include "base/LogFile.h"
#include "base/Program.h"
#include "history/ui/HistoryChart.h"
#include "history/ui/HistoryModel.h"
#include "platform/Registry.h"
#include "translate/Messages.h"
#include "translate/ui/FormTranslator.h"
#include "widgets/Dialogs.h"
#include "widgets/ReportView.h"
#include "widgets/WindowPlace.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const char* const kPlacesKey = "\\HistoryWindows\\";
// The tag of a control whose text the form translation leaves alone.
constexpr int kUntranslatedTag = -100;

QString Text(unsigned id) {
    return QString::fromStdString(LoadStr(id));
}

} // namespace

std::function<QString(QWidget*, const QString&)>& TfmHistory::ExportPathChooser() {
    static std::function<QString(QWidget*, const QString&)> chooser;
    return chooser;
}

std::function<std::int64_t()>& TfmHistory::Clock() {
    static std::function<std::int64_t()> clock;
    return clock;
}

TfmHistory::TfmHistory(THistorySubject subject, std::shared_ptr<THistory> history, TRegistry& store,
                       std::shared_ptr<TLogFile> log, QWidget* centreOn)
    : QWidget(nullptr, Qt::Window), m_subject(std::move(subject)), m_history(std::move(history)), m_store(store),
      m_log(std::move(log)) {
    setObjectName(QStringLiteral("fmHistory"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("History"));
    setMinimumSize(320, 300);
    resize(640, 520);

    btnWeek = new QPushButton(QStringLiteral("Week"), this);
    btnWeek->setObjectName(QStringLiteral("btnWeek"));
    btnMonth = new QPushButton(QStringLiteral("Month"), this);
    btnMonth->setObjectName(QStringLiteral("btnMonth"));
    btnYear = new QPushButton(QStringLiteral("Year"), this);
    btnYear->setObjectName(QStringLiteral("btnYear"));
    btnAll = new QPushButton(QStringLiteral("All"), this);
    btnAll->setObjectName(QStringLiteral("btnAll"));
    m_rangeButtons = new QButtonGroup(this);
    m_rangeButtons->setExclusive(true);
    const std::pair<QPushButton*, THistoryRange> ranges[] = {{btnWeek, THistoryRange::Week},
                                                             {btnMonth, THistoryRange::Month},
                                                             {btnYear, THistoryRange::Year},
                                                             {btnAll, THistoryRange::All}};
    for (const auto& [button, range] : ranges) {
        button->setCheckable(true);
        m_rangeButtons->addButton(button, static_cast<int>(range));
    }
    connect(m_rangeButtons, &QButtonGroup::idClicked, this,
            [this](int id) { ShowRange(static_cast<THistoryRange>(id)); });
    btnExport = new QPushButton(QStringLiteral("Export CSV..."), this);
    btnExport->setObjectName(QStringLiteral("btnExport"));
    connect(btnExport, &QPushButton::clicked, this, &TfmHistory::btnExportClick);

    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    // Its text is a numbered message, set as the window learns what it can show.
    lblStatus->setProperty("tag", kUntranslatedTag);

    chHistory = new THistoryChart(this);
    chHistory->setObjectName(QStringLiteral("chHistory"));
    chHistory->SetEmptyText(Text(2114));

    m_model = std::make_unique<THistoryModel>(m_series);
    lvRecords = new QTableView(this);
    lvRecords->setObjectName(QStringLiteral("lvRecords"));
    lvRecords->setModel(m_model.get());
    SetUpReportView(*lvRecords);
    lvRecords->setContextMenuPolicy(Qt::NoContextMenu);
    // Rows of one height, so the view never measures a hundred thousand of them.
    lvRecords->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    lvRecords->horizontalHeader()->setStretchLastSection(true);
    lvRecords->setColumnWidth(THistoryModel::colTime, 130);
    lvRecords->setColumnHidden(THistoryModel::colOutcome, m_subject.IsRate());

    auto* buttons = new QHBoxLayout;
    for (QPushButton* button : {btnWeek, btnMonth, btnYear, btnAll})
        buttons->addWidget(button);
    buttons->addStretch(1);
    buttons->addWidget(lblStatus);
    buttons->addStretch(1);
    buttons->addWidget(btnExport);
    auto* split = new QSplitter(Qt::Vertical, this);
    split->setChildrenCollapsible(false);
    split->addWidget(chHistory);
    split->addWidget(lvRecords);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(split, 1);

    TranslateForm(this);
    setWindowTitle(QString::fromStdString(m_subject.Caption) + QStringLiteral(" - ") + windowTitle());

    // The records are read once, on a worker; the ranges and the records that come later work in
    // memory. Until they are in, the window says it is reading and the buttons wait.
    m_available = m_history != nullptr && m_history->Available();
    for (QWidget* control : std::initializer_list<QWidget*>{btnWeek, btnMonth, btnYear, btnAll, btnExport})
        control->setEnabled(false);
    chHistory->SetSeries(nullptr);
    chHistory->SetEmptyText(Text(m_available ? 2123 : 2115));
    lblStatus->setText(Text(m_available ? 2123 : 2115));
    // A month at first: the recent steps read best; the buttons show more.
    btnMonth->setChecked(true);
    if (m_available) {
        m_reader = std::make_shared<THistoryReader>(m_subject, m_history,
                                                    [this](THistorySeries& series) { Loaded(std::move(series)); });
        m_reader->Resume();
    }

    RestorePlacement(centreOn);
    m_placeSaver = std::make_unique<TPlaceSaver>([this] { SavePlacement(); });
    m_placeSaver->Watch(this);
}

TfmHistory::~TfmHistory() {
    // A read still running delivers nothing to a window that is gone.
    if (m_reader)
        m_reader->Cancel();
    m_placeSaver.reset();
    lvRecords->setModel(nullptr);
}

void TfmHistory::Loaded(THistorySeries series) {
    m_reader.reset();
    m_series = std::move(series);
    // Records that ended while the file was read, and that the read did not find already.
    const std::int64_t readUpTo = m_series.LastTimeMs();
    for (const TCheckRecord& record : m_pendingChecks)
        if (record.TimeMs > readUpTo)
            m_series.Add(record);
    for (const TRateRecord& record : m_pendingRates)
        if (record.TimeMs > readUpTo)
            m_series.Add(record);
    m_pendingChecks.clear();
    m_pendingRates.clear();
    lblStatus->clear();
    chHistory->SetEmptyText(Text(2114));
    chHistory->SetSeries(&m_series);
    for (QWidget* control : std::initializer_list<QWidget*>{btnWeek, btnMonth, btnYear, btnAll})
        control->setEnabled(true);
    ShowRange(static_cast<THistoryRange>(std::max(m_rangeButtons->checkedId(), 0)));
}

void TfmHistory::ShowRange(THistoryRange range) {
    if (QAbstractButton* button = m_rangeButtons->button(static_cast<int>(range)))
        button->setChecked(true);
    m_series.SetRange(range, Clock() ? Clock()() : HistoryNowMs());
    SeriesChanged();
}

void TfmHistory::SeriesChanged() {
    m_model->Reload();
    chHistory->update();
    btnExport->setEnabled(m_available && !Loading() && m_series.Count() > 0);
}

void TfmHistory::RecordAdded(const TCheckRecord& record) {
    if (!m_available || !m_subject.Matches(record))
        return;
    if (Loading()) {
        m_pendingChecks.push_back(record);
        return;
    }
    m_series.Add(record);
    SeriesChanged();
}

void TfmHistory::RatesAdded(const std::vector<TRateRecord>& records) {
    if (!m_available)
        return;
    bool added = false;
    for (const TRateRecord& record : records)
        if (m_subject.Matches(record) && Loading())
            m_pendingRates.push_back(record);
        else if (m_subject.Matches(record)) {
            m_series.Add(record);
            added = true;
        }
    if (added)
        SeriesChanged();
}

bool TfmHistory::ExportCsv(const std::string& path) {
    std::string error;
    if (WriteTextFile(path, m_series.CsvText(), error))
        return true;
    if (m_log)
        m_log->WriteLog(LoadStr(2122), {path, error});
    ShowMessageBox(this, FormatMsg(LoadStr(2121), {path, error}), std::string(), QMessageBox::Warning);
    return false;
}

void TfmHistory::btnExportClick() {
    QString name = QString::fromStdString(m_subject.Caption) + QStringLiteral(".csv");
    name.replace(QLatin1Char('/'), QLatin1Char('-'));
    const QString suggested = QDir::home().filePath(name);
    const QString path = ExportPathChooser()
                             ? ExportPathChooser()(this, suggested)
                             : QFileDialog::getSaveFileName(this, btnExport->text().remove(QStringLiteral("...")),
                                                            suggested, Text(2120));
    if (!path.isEmpty())
        ExportCsv(path.toStdString());
}

std::string TfmHistory::PlaceKey() const {
    return std::string(kProgramKey) + kPlacesKey + m_subject.Key();
}

void TfmHistory::SavePlacement() const {
    try {
        const auto values = m_store.OpenKey(PlaceKey(), true);
        if (!values)
            return;
        values->WriteInteger("Left", x());
        values->WriteInteger("Top", y());
        values->WriteInteger("Width", width());
        values->WriteInteger("Height", height());
        values->Close();
    } catch (const ERegistryError&) {
        // Not kept; the window opens where it would anyway.
    }
}

void TfmHistory::RestorePlacement(const QWidget* centreOn) {
    if (centreOn != nullptr) {
        // Over the window it was opened from, but whole on that window's screen: a small window
        // near the screen's edge would otherwise push the new one's title bar off the screen.
        QPoint place(centreOn->x() + (centreOn->width() - width()) / 2,
                     centreOn->y() + (centreOn->height() - height()) / 2);
        if (const QScreen* screen = centreOn->screen()) {
            const QRect area = screen->availableGeometry();
            place.setX(std::clamp(place.x(), area.left(), std::max(area.left(), area.right() + 1 - width())));
            place.setY(std::clamp(place.y(), area.top(), std::max(area.top(), area.bottom() + 1 - height())));
        }
        move(place);
    }
    std::optional<int> left, top, w, h;
    try {
        if (const auto values = m_store.OpenKey(PlaceKey(), false)) {
            const auto integer = [&values](const char* name, std::optional<int>& field) {
                if (values->ValueExists(name))
                    field = values->ReadInteger(name);
            };
            integer("Left", left);
            integer("Top", top);
            integer("Width", w);
            integer("Height", h);
        }
    } catch (const ERegistryError&) {
        // What was read so far applies.
    }
    // A stored size larger than the desktop (a screen that has gone) shrinks to fit it.
    QRect desktop;
    for (const QScreen* screen : QGuiApplication::screens())
        desktop = desktop.united(screen->availableGeometry());
    const QSize most = desktop.isEmpty() ? QSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX) : desktop.size();
    resize(std::clamp(w.value_or(width()), minimumWidth(), std::max(minimumWidth(), most.width())),
           std::clamp(h.value_or(height()), minimumHeight(), std::max(minimumHeight(), most.height())));
    const QPoint place(left.value_or(x()), top.value_or(y()));
    if (PlaceIsUsable(QRect(place, frameGeometry().size())))
        move(place);
}

void TfmHistory::closeEvent(QCloseEvent* event) {
    SavePlacement();
    QWidget::closeEvent(event);
}

THistoryWindows::~THistoryWindows() {
    // The windows still open go with their opener; a closed one has deleted itself.
    for (auto& [key, window] : m_windows)
        if (window)
            std::unique_ptr<TfmHistory>(window.data()).reset();
}

TfmHistory& THistoryWindows::Open(const THistorySubject& subject, std::shared_ptr<THistory> history, TRegistry& store,
                                  std::shared_ptr<TLogFile> log, QWidget* centreOn) {
    const std::string key = subject.Key();
    TfmHistory* window = Window(key);
    if (window == nullptr) {
        // Owned by itself from here on: it deletes itself when closed (WA_DeleteOnClose).
        window = std::make_unique<TfmHistory>(subject, std::move(history), store, std::move(log), centreOn).release();
        m_windows[key] = window;
    }
    window->show();
    window->raise();
    window->activateWindow();
    return *window;
}

TfmHistory* THistoryWindows::Window(const std::string& key) const {
    const auto found = m_windows.find(key);
    return found == m_windows.end() ? nullptr : found->second.data();
}

int THistoryWindows::Count() const {
    return static_cast<int>(
        std::count_if(m_windows.begin(), m_windows.end(), [](const auto& entry) { return !entry.second.isNull(); }));
}

void THistoryWindows::RecordAdded(const TCheckRecord& record) const {
    for (const auto& [key, window] : m_windows)
        if (window)
            window->RecordAdded(record);
}

void THistoryWindows::RatesAdded(const std::vector<TRateRecord>& records) const {
    for (const auto& [key, window] : m_windows)
        if (window)
            window->RatesAdded(records);
}
