#pragma once

#include "rf/best_fit.h"
#include "rf/e_series.h"
#include "rf/picture.h"
#include "rf/port_data.h"
#include "rf/touchstone.h"
#include "views/chart_pointing.h"
#include "views/evaluation.h"
#include "views/match_run.h"
#include "views/model_history.h"
#include "views/model_summary.h"
#include "views/rl_scale.h"
#include "views/samples.h"

#include <QFutureWatcher>
#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <variant>

class QAction;
class QSettings;
class QDockWidget;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QProgressBar;
class QPushButton;
class QSlider;
class QSpinBox;
class QSplitter;
class QTableWidget;
class QPlainTextEdit;
class QTimer;

namespace veltrane::fit {

// The window lays out what the view layer computes.
using namespace veltrane::views;

class ChartView;
class MatchPanel;

// The files the window writes.
enum class Export { Touchstone, Spice, Svg, Png, Report };

// The measured-data window: a Touchstone file on a Smith chart and a return-loss plot, the two
// points picked on the data, the eight choices with their fit, the chosen model as the
// calculator shows it, the best-fit search and the exports.
class FitWindow final : public QMainWindow {
    Q_OBJECT

  public:
    explicit FitWindow(QWidget* parent = nullptr);
    ~FitWindow() override;

    // Reads the file (off the event thread) and takes `port`; a bad file leaves the data shown
    // and says why in the message line. `loaded` or `refused` follows.
    void open_file(const QString& path, int port = 1);
    // Writes one export of the chosen model to `path`; the message when it could not.
    [[nodiscard]] std::optional<QString> export_to(Export kind, const QString& path);
    // The chosen model's results as text, as "Copy results" puts them on the clipboard.
    [[nodiscard]] QString results_text() const;
    [[nodiscard]] QString message() const;
    [[nodiscard]] ChartView* chart() const { return chart_; }
    [[nodiscard]] const rf::Picture& picture() const { return picture_; }
    // The picture the exports write: print size, the zoom shown.
    [[nodiscard]] rf::Picture export_picture() const;
    [[nodiscard]] std::array<double, 2> points_ghz() const { return {f_ghz_[0], f_ghz_[1]}; }
    [[nodiscard]] Choice chosen() const { return chosen_; }
    [[nodiscard]] const rf::ChartZoom& zoom() const { return zoom_; }
    [[nodiscard]] double rl_ohm() const { return rl_ohm_; }
    // Whether opening data runs the quick best fit that puts a model on them at once.
    void set_fit_on_open(bool on);

  signals:
    void loaded();
    void refused();
    void best_fit_done();
    // The quick best fit run on opening data has ended (its model taken, or not).
    void quick_fit_done();

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    // What data need before they are shown, worked out on the reading thread for a file just
    // read (large files take long): the first model, the curves drawn and the Match panel's.
    struct Prepared {
        std::optional<Start> start;
        Curve curve;
        std::shared_ptr<const rf::PortData> judged;
        std::shared_ptr<const rf::PortData> chart;
        views::MatchPrepared match;
    };
    [[nodiscard]] static Prepared prepare(const rf::PortData& data, const views::MatchAhead& ahead);
    struct Opened {
        rf::Network network;
        std::shared_ptr<const rf::PortData> data;
        Prepared prepared;
    };
    // Shared, so that taking the result from the future copies no samples.
    using ReadResult = std::variant<std::shared_ptr<Opened>, std::string>;
    // A search's outcome with the data generation it was started on.
    struct Searched {
        std::uint64_t generation = 0;
        bool quick = false;
        std::size_t samples = 0; // samples the search ran on
        std::variant<rf::BestFit, std::string> result;
        // A quick fit's model evaluated over the data and the Match panel's limits for it,
        // worked out on the search's thread.
        std::optional<Evaluation> evaluation;
        std::optional<views::BandLimits> limits;
    };
    // Shared with a search's thread: asked to stop, and the share done in thousandths.
    struct SearchControl {
        std::atomic<bool> stop{false};
        std::atomic<int> done{0};
    };

    void build_actions();
    QWidget* build_points_panel();
    QWidget* build_best_panel();
    void restore_settings();
    void save_settings();
    // Writes `settings` out now; says so in the status bar when they could not be saved.
    void store(QSettings& settings);

    void take_port(int port, std::optional<Prepared> prepared = std::nullopt);
    void show_message(const QString& text);
    void add_recent(const QString& path);
    void fill_recent_menu();

    // Everything that follows from the points, RL and the chosen row.
    void recompute();
    void show_evaluation();
    void fill_table();
    void fill_results();
    void build_picture();
    void update_rl_controls();
    void set_point(std::size_t which, double f_ghz);
    void set_rl(double rl_ohm);
    [[nodiscard]] ModelState model_state() const;
    // The samples the fits and warnings of the models shown are judged on; none: all of them.
    [[nodiscard]] const rf::PortData* judged() const;
    // A change to the model the person made: the state before it goes on the undo history.
    void record_change();
    void show_state(const ModelState& state);
    void undo();
    void redo();
    void choose_row(int row);

    void chart_pressed(QPointF p);
    void chart_dragged(QPointF p);
    void chart_hovered(QPointF p);
    void show_readout(const QString& where, rf::Complex g);
    // The row under the chart: the read-out, Reset zoom, Pin and Unpin; the zoom shortcuts.
    QWidget* build_chart_row();
    void set_zoom(const rf::ChartZoom& zoom);
    void zoom_both(double factor); // Ctrl++ and Ctrl+-: both charts about their centres
    void pin_model();
    [[nodiscard]] std::optional<rf::LumpedModel> shown_model() const;
    // The picture of `width` x `height` units with text of `text` units, the handles drawn.
    [[nodiscard]] rf::Picture make_picture(double width, double height, double text,
                                           std::vector<Handle>& handles) const;

    void forget_search();
    void start_best_fit();
    void start_quick_fit();
    void run_search(const rf::PortData& data, const rf::BestFitOptions& options, bool quick);
    void stop_search();
    void highlight_shown_candidate();
    void best_fit_finished();
    void take_candidate(int row);

    void export_with_dialog(Export kind);
    [[nodiscard]] const ChoiceRow* chosen_row() const;

    // Data
    std::optional<rf::Network> network_;
    // Shared with the threads that work on them.
    std::shared_ptr<const rf::PortData> data_;
    std::shared_ptr<const rf::PortData> judged_;       // every n-th sample of a large file
    std::shared_ptr<const rf::PortData> drawn_;        // what the charts draw of a large file
    std::shared_ptr<const rf::PortData> zoomed_drawn_; // ... while zoomed, made when first needed
    // The data as the charts draw them now.
    [[nodiscard]] const rf::PortData* chart_data() const;
    QString path_;
    Curve curve_;
    double z0_ohm_ = 50.0;
    std::array<double, 2> f_ghz_{};
    double rl_ohm_ = 50.0;
    Choice chosen_;
    std::optional<rf::ESeries> series_; // standard part values shown beside the model
    Evaluation evaluation_;
    std::optional<CalculatorView> view_;
    rf::Picture picture_;
    rf::ChartZoom zoom_;
    std::array<double, 2> zoom_data_{}; // the data's frequency span the zoom was made on
    std::optional<rf::ExtraCurve> pinned_;
    std::vector<Handle> handles_;
    std::optional<std::size_t> dragging_;
    std::vector<rf::Candidate> candidates_;
    QStringList recent_;
    QString last_folder_;

    // Work off the event thread. A read runs on a thread of its own that nobody waits for: a
    // newer file or closing the window drops it at once (a file that never ends, a pipe that
    // never writes), and its result, when it comes, is thrown away.
    struct ReadTicket {
        std::mutex mutex;
        FitWindow* window = nullptr; // none once the read is dropped
    };
    std::shared_ptr<ReadTicket> reading_;
    void drop_read();
    void file_read(const QString& path, int port, ReadResult result);
    QFutureWatcher<Searched> searcher_;
    std::shared_ptr<SearchControl> search_control_;
    QTimer* progress_timer_ = nullptr;
    std::uint64_t search_generation_ = 0; // counts the data taken; a search keeps its own
    // A search runs: from its start until the window has taken its outcome (the watcher's
    // future may have ended before that, its signal still on the way).
    bool searching_ = false;
    bool quick_pending_ = false; // a quick fit waits for the running search to end
    bool full_pending_ = false;  // a best fit waits for the quick fit to stop
    bool fit_on_open_ = true;
    std::uint64_t changes_ = 0;          // changes to the model made by the person
    std::uint64_t changes_at_quick_ = 0; // ... when the quick fit started
    ModelHistory history_;
    QAction* undo_action_ = nullptr;
    QAction* redo_action_ = nullptr;

    // Controls
    ChartView* chart_ = nullptr;
    MatchPanel* match_ = nullptr;
    QDockWidget* match_dock_ = nullptr;
    QAction* show_match_ = nullptr;
    QSplitter* split_ = nullptr;
    QSplitter* lower_split_ = nullptr;
    QLabel* message_ = nullptr;
    QLabel* readout_ = nullptr;
    QPushButton* pin_button_ = nullptr;
    QPushButton* unpin_button_ = nullptr;
    QPushButton* zoom_reset_ = nullptr;
    QSpinBox* port_ = nullptr;
    std::array<QLineEdit*, 2> f_edit_{};
    QLineEdit* rl_edit_ = nullptr;
    QSlider* rl_slider_ = nullptr;
    QLabel* rl_range_ = nullptr;
    QComboBox* series_box_ = nullptr;
    QTableWidget* table_ = nullptr;
    QPlainTextEdit* results_ = nullptr;
    QCheckBox* search_rl_ = nullptr;
    QPushButton* best_button_ = nullptr;
    QPushButton* cancel_button_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QListWidget* best_list_ = nullptr;
    QMenu* recent_menu_ = nullptr;
    std::array<double, 2> rl_slider_range_{1, 100};
};

} // namespace veltrane::fit
