#pragma once

#include "history/HistorySeries.h"

#include <QPointer>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>
#include <string>

class QButtonGroup;
class QLabel;
class QPushButton;
class QTableView;
class THistory;
class THistoryChart;
class THistoryModel;
class TLogFile;
class TPlaceSaver;
class TRegistry;

// The history window of one alert or one rate: the chart of the range chosen by the buttons, the
// table of its records and "Export CSV...". The records are read once when it opens; the range
// buttons and the records added while it is open work on what it holds. It keeps its place and
// size in the store under the subject's key. The decisions live in THistorySeries.
class TfmHistory : public QWidget {
    Q_OBJECT

public:
    // `history` may be null or unavailable: the window then says so. `store` keeps the place.
    TfmHistory(THistorySubject subject, std::shared_ptr<THistory> history, TRegistry& store,
               std::shared_ptr<TLogFile> log, QWidget* centreOn = nullptr);
    ~TfmHistory() override;

    const THistorySubject& Subject() const { return m_subject; }
    const THistorySeries& Series() const { return m_series; }
    // The records are still being read.
    bool Loading() const { return m_reader != nullptr; }

    // A record finished while the window is open: it joins the series if it is the subject's.
    void RecordAdded(const TCheckRecord& record);
    void RatesAdded(const std::vector<TRateRecord>& records);
    // The range shown, as the buttons choose it.
    void ShowRange(THistoryRange range);
    // Writes what the range shows to `path`; false (with a message to the user and a log line)
    // when the file cannot be written.
    bool ExportCsv(const std::string& path);

    void SavePlacement() const;
    void RestorePlacement(const QWidget* centreOn);

    // Event handlers.
    void btnExportClick();

    // Where "Export CSV..." writes; a test answers it instead of the file dialog. Empty: cancelled.
    static std::function<QString(QWidget* parent, const QString& suggested)>& ExportPathChooser();
    // The clock of the ranges, for tests.
    static std::function<std::int64_t()>& Clock();

    QPushButton* btnWeek = nullptr;
    QPushButton* btnMonth = nullptr;
    QPushButton* btnYear = nullptr;
    QPushButton* btnAll = nullptr;
    QPushButton* btnExport = nullptr;
    QLabel* lblStatus = nullptr;
    THistoryChart* chHistory = nullptr;
    QTableView* lvRecords = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Loaded(THistorySeries series);
    void SeriesChanged();
    std::string PlaceKey() const;

    THistorySubject m_subject;
    std::shared_ptr<THistory> m_history;
    TRegistry& m_store;
    std::shared_ptr<TLogFile> m_log;
    THistorySeries m_series;
    std::shared_ptr<THistoryReader> m_reader;  // while the records are read
    std::vector<TCheckRecord> m_pendingChecks; // ended while they were read
    std::vector<TRateRecord> m_pendingRates;
    bool m_available = false;
    std::unique_ptr<THistoryModel> m_model;
    QButtonGroup* m_rangeButtons = nullptr;
    std::unique_ptr<TPlaceSaver> m_placeSaver;
};

// The history windows one window opens, one per subject: opening a subject again brings its
// window forward. Records finished meanwhile go to the window of their subject. The windows go
// when they are closed, or with this.
class THistoryWindows {
public:
    THistoryWindows() = default;
    ~THistoryWindows();
    THistoryWindows(const THistoryWindows&) = delete;
    THistoryWindows& operator=(const THistoryWindows&) = delete;

    TfmHistory& Open(const THistorySubject& subject, std::shared_ptr<THistory> history, TRegistry& store,
                     std::shared_ptr<TLogFile> log, QWidget* centreOn);
    // The open window of the subject's key, or null.
    TfmHistory* Window(const std::string& key) const;
    int Count() const;

    void RecordAdded(const TCheckRecord& record) const;
    void RatesAdded(const std::vector<TRateRecord>& records) const;

private:
    std::map<std::string, QPointer<TfmHistory>> m_windows;
};
