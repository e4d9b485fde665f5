#pragma once

// The Match panel of the measured-data window: the band (typed, or dragged by its edges on the
// return-loss plot), the bound, the design of ladders of 1..N elements on
// a worker thread, the list of sizes, the chosen network's schematic, standard values, lossy
// parts with their parasitics, the network of measured parts of a library, the yield's histogram,
// and the match's exports.

#include "match/bound.h"
#include "match/design.h"
#include "rf/e_series.h"
#include "rf/model_impedance.h"
#include "rf/picture.h"
#include "rf/port_data.h"
#include "views/match_run.h"
#include "views/match_view.h"

#include <QFutureWatcher>
#include <QString>
#include <QWidget>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QProgressBar;
class QPushButton;
class QSettings;
class QScrollArea;
class QSpinBox;
class QVBoxLayout;

namespace veltrane::fit {

class PictureView;

// The files of the match.
enum class MatchExport { NetworkTouchstone, NetworkSpice, MatchedTouchstone, Svg, Png };

class MatchPanel final : public QWidget {
    Q_OBJECT

  public:
    explicit MatchPanel(QWidget* parent = nullptr);
    ~MatchPanel() override;

    // What the limits are worked out ahead for: the user's band, if any, and the source.
    [[nodiscard]] views::MatchAhead ahead() const;

    // New data (not owned; kept alive by the window until the next call) with its model: a
    // design still running stops and its result is dropped, the networks go, the band returns
    // to the model's unless the user set one that lies within the data.
    void set_data(const rf::PortData* data, const QString& name,
                  const std::optional<rf::LumpedModel>& model,
                  const std::optional<match::Band>& model_band, views::MatchPrepared prepared);
    // Limits worked out ahead, taken when they were made for what the panel then shows.
    void offer_limits(views::BandLimits limits) { limits_ = std::move(limits); }
    // The chosen model, for the bound and the band a user has not set; nothing without a model.
    void set_model(const std::optional<rf::LumpedModel>& model,
                   const std::optional<match::Band>& band);
    // The window's picture, for the exports of the picture.
    void set_picture_source(std::function<rf::Picture()> source);

    // Whether the panel is shown: only then does it draw on the charts and take presses there.
    void set_active(bool active) { active_ = active; }

    // What the picture is built with: the chosen network's matched curve as a curve of its own
    // (so the axes hold it) and the bound's level.
    void contribute(rf::PlotInput& input) const;
    // The band shaded, the bound and the band's edges over the window's charts.
    void decorate(rf::Picture& picture) const;
    // Pointing into the charts: a press within `reach` of a band edge takes it (true), a drag
    // moves it (true while an edge is held).
    bool press(const rf::ChartFrame& frame, rf::Point p, double reach);
    bool drag(const rf::ChartFrame& frame, rf::Point p);
    void release();

    void start_design();
    void cancel_design();
    void choose(int index); // a row of the list of sizes

    [[nodiscard]] match::Band band() const { return band_; }
    [[nodiscard]] std::optional<match::Figures> chosen_figures() const;
    [[nodiscard]] const std::vector<match::Design>& networks() const { return networks_; }
    [[nodiscard]] const std::optional<match::Design>& standard() const { return standard_; }
    // The chosen network built of the library's measured parts, when a library is read.
    [[nodiscard]] const std::optional<match::Design>& parts_network() const {
        return parts_network_;
    }
    // Reads the part library in `folder` (its parts.csv) off the event thread, then emits
    // library_read(); the library's message is shown when it cannot be read. Empty: no library.
    void set_library(const QString& folder);
    [[nodiscard]] bool has_library() const { return library_ != nullptr; }
    [[nodiscard]] const views::Histogram& histogram() const { return histogram_; }
    [[nodiscard]] const rf::Picture& schematic_picture() const { return schematic_; }
    [[nodiscard]] QString message() const;
    // The match as text for "Copy results"; empty before a design.
    [[nodiscard]] QString results_text() const;
    // Writes one file of the chosen network (the standard one when a series is chosen); the
    // message when it could not.
    [[nodiscard]] std::optional<QString> export_to(MatchExport kind, const QString& path) const;
    void add_export_actions(QMenu* menu);

    void save_settings(QSettings& settings) const;
    void restore_settings(const QSettings& settings);

  signals:
    void changed(); // the charts must be drawn again
    void design_done();
    void parts_done(); // standard values, measured parts and yield
    void library_read();
    void message_changed(const QString& text);

  private:
    struct Designed {
        std::uint64_t generation = 0;
        bool stopped = false;
        std::variant<views::SimplifiedNetworks, std::string> result;
    };
    struct Parts {
        std::uint64_t generation = 0;
        std::optional<match::Design> standard;
        std::optional<match::Design> parts; // of the library's measured parts
        std::vector<double> yield_runs;
        std::optional<match::YieldFigures> yield;
        std::string failure;
    };

    struct LibraryRead {
        std::uint64_t generation = 0;
        QString folder;
        std::shared_ptr<const match::PartLibrary> library;
        std::string failure;
    };

    void build();
    void build_parts_box(QVBoxLayout* layout);
    void library_finished();
    void pick_library();
    void show_message(const QString& text);
    void set_band(const match::Band& band, bool by_user);
    void band_moved(); // re-evaluates the chosen network, redraws
    void update_limits();
    void design_finished();
    void start_parts();
    void parts_finished();
    void forget_networks();
    void fill_list();
    void show_chosen();
    void show_designed_band();
    void schematic_changed(); // the schematic view's size and scroll area follow the schematic
    // The matched curve over the data and the schematic, when the network changes.
    void update_curve();
    [[nodiscard]] const match::Design* exported() const;
    [[nodiscard]] match::DesignInput design_input() const;
    // The Q and parasitics the fields ask for, or why they cannot be used.
    [[nodiscard]] std::variant<match::Losses, QString> losses() const;
    // The constraints the fields ask for, or why they cannot be used.
    [[nodiscard]] std::variant<match::Constraints, QString> constraints() const;
    [[nodiscard]] double source_ohm() const;
    // The source the fields ask for (a resistance, R+jX or the file read), or nothing when the
    // field holds neither a resistance nor an impedance.
    [[nodiscard]] std::optional<views::MatchSource> source() const;
    // Reads a measured source from a file the user picks; back to a resistance if none is read.
    void pick_source_file();
    // The designed source's samples on load_; false, with the message shown, when it has none.
    bool attach_source();

    const rf::PortData* data_ = nullptr;
    QString name_;
    std::optional<rf::LumpedModel> model_;
    std::optional<match::Band> model_band_;
    match::Band band_{1, 2};
    bool band_by_user_ = false;
    std::optional<views::BandEdge> dragging_;
    bool active_ = false;
    std::optional<views::BandLimits> limits_; // the last worked out, or offered ahead
    match::Load load_;                        // the data in the band
    match::Load all_load_;                    // all the data with a finite impedance
    std::optional<match::Limit> bound_;
    std::optional<match::Section> section_; // the bound's
    std::vector<match::Design> networks_;
    std::vector<std::optional<std::size_t>> no_better_than_; // per size: the smaller it equals
    double designed_source_ohm_ = 50;
    views::MatchSource designed_source_;              // when it is not a resistance
    std::shared_ptr<const rf::PortData> source_file_; // the measured source read
    QString typed_source_ = QStringLiteral("50");     // the field's text while a file is used
    match::Band designed_band_{1, 2};                 // the band the sizes were designed over
    match::Losses designed_losses_;
    match::Constraints designed_constraints_;
    std::optional<std::size_t> chosen_;
    std::optional<match::Figures> chosen_now_; // the chosen network over the present band
    std::optional<match::Design> standard_;
    std::optional<match::Design> parts_network_;
    std::shared_ptr<const match::PartLibrary> library_;
    QString library_folder_; // as the user picked it
    std::optional<rf::ESeries> standard_series_;
    std::optional<match::YieldFigures> yield_;
    views::Histogram histogram_;
    std::vector<double> curve_f_ghz_;
    std::vector<rf::Complex> curve_g_; // the matched curve over the data, for the charts
    rf::Picture schematic_;
    rf::Picture histogram_picture_;
    std::function<rf::Picture()> picture_source_;

    QFutureWatcher<Designed> designer_;
    std::shared_ptr<std::atomic<bool>> stop_design_;
    std::uint64_t design_generation_ = 0;
    QFutureWatcher<Parts> parter_;
    std::shared_ptr<std::atomic<bool>> stop_parts_;
    std::uint64_t parts_generation_ = 0;
    QFutureWatcher<LibraryRead> library_reader_;
    std::uint64_t library_generation_ = 0;

    QLineEdit* fl_edit_ = nullptr;
    QLineEdit* fh_edit_ = nullptr;
    QLineEdit* source_edit_ = nullptr;
    QComboBox* source_kind_ = nullptr; // resistance or impedance, or a file
    QSpinBox* elements_ = nullptr;
    QLabel* bound_label_ = nullptr;
    QPushButton* design_button_ = nullptr;
    QPushButton* cancel_button_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QListWidget* sizes_ = nullptr;
    QLabel* chosen_label_ = nullptr;
    QLabel* designed_label_ = nullptr; // the band of the sizes, marked when the band has moved
    PictureView* schematic_view_ = nullptr;
    QScrollArea* schematic_scroll_ = nullptr;
    QComboBox* ladder_kind_ = nullptr; // any, low-pass, high-pass
    QCheckBox* dc_path_ = nullptr;
    QCheckBox* dc_block_ = nullptr;
    QComboBox* first_ = nullptr; // either, series, shunt
    QComboBox* last_ = nullptr;
    QLineEdit* l_range_ = nullptr;
    QLineEdit* c_range_ = nullptr;
    QComboBox* series_box_ = nullptr;
    QLineEdit* inductor_q_ = nullptr;
    QLineEdit* capacitor_q_ = nullptr;
    QLineEdit* inductor_srf_ = nullptr;  // GHz
    QLineEdit* capacitor_esl_ = nullptr; // nH
    QLineEdit* capacitor_esr_ = nullptr; // ohm
    QPushButton* library_button_ = nullptr;
    QPushButton* library_clear_ = nullptr;
    QLabel* library_label_ = nullptr;
    QLineEdit* tolerance_ = nullptr;
    QSpinBox* runs_ = nullptr;
    QLineEdit* target_ = nullptr;
    PictureView* histogram_view_ = nullptr;
    QLabel* message_ = nullptr;
};

} // namespace veltrane::fit
