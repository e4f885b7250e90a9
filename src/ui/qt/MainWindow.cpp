#include "ui/qt/MainWindow.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <exception>
#include <new>
#include <string>

#include "ui/CommandTable.h"
#include "ui/Commands.h"
#include "ui/FileProblems.h"
#include "ui/OpenFileKind.h"
#include "ui/StatusText.h"
#include "ui/qt/AboutDialog.h"
#include "ui/qt/DisplayWidget.h"
#include "ui/qt/FurtherOptionsDialog.h"
#include "ui/qt/QtPlatform.h"
#include "ui/qt/ThresholdDialog.h"
#include "ui/resource.h"

namespace zmr {

namespace {
constexpr const char* kWindowCaption = "ZMRCalibration";
// Smallest outer size the window starts with, whatever the options say.
constexpr int kMinimumWidth = 200;
constexpr int kMinimumHeight = 150;
constexpr int kVectorScales[] = {1, 2, 5, 10, 20, 50, 100};
static_assert(std::size(kVectorScales) == IDM_VECTOR_SCALE_LAST - IDM_VECTOR_SCALE_FIRST + 1);

// The file dialog's title of each command that asks for a file, and whether it saves.
struct DialogPurpose {
  int id;
  bool save;
  const char* title;
};
constexpr DialogPurpose kDialogPurposes[] = {
    {IDM_OPEN_OSTREL, false, "Open Ostrel File"},
    {IDM_OPEN_BITMAP, false, "Open Bitmap"},
    {IDM_OPEN_ASCII, false, "Open ASCII File"},
    {IDM_OPEN_IMAGE, false, "Open Image"},
    {IDM_POINTS_OPEN, false, "Open Calibration Points"},
    {IDM_SAVE_BITMAP, true, "Save Image as Bitmap"},
    {IDM_SAVE_ASCII, true, "Save Image as ASCII"},
    {IDM_SAVE_TARGET_ASCII, true, "Save Transformed Image as ASCII"},
    {IDM_POINTS_SAVE, true, "Save Calibration Points"},
    {IDM_ORBIK_SAVE_ASCII, true, "Save ORBIK Data as ASCII"},
    {IDM_ORBIK_SAVE_ZMR, true, "Save ORBIK Data as .zmr"},
    {IDM_SAVE_IMAGE, true, "Save Image"},
    {IDM_SAVE_TARGET_IMAGE, true, "Save Transformed Image"},
};

bool OpensImage(int id) {
  return id == IDM_OPEN_OSTREL || id == IDM_OPEN_BITMAP || id == IDM_OPEN_ASCII ||
         id == IDM_OPEN_IMAGE;
}

QString FromLocal(const std::string& name) {
  return QFile::decodeName(QByteArray::fromStdString(name));
}
}  // namespace

MainWindow::MainWindow(QtPlatform& platform, QWidget* parent)
    : QMainWindow(parent), platform_(platform) {
  setWindowTitle(kWindowCaption);
  setWindowIcon(ProgramIcon());
  setAcceptDrops(true);
  display_ = new DisplayWidget(this);
  setCentralWidget(display_);
  BuildMenu();
  AddWindowItems();
  AddShortcuts();
  statusBar()->setSizeGripEnabled(false);  // notes appear here
  // The last command's line on the left, what lies under the cursor on the right, the zoom
  // last. The two texts share the width (a third and two thirds) and are cut, not the window
  // widened, when they are long; their tooltips hold them whole.
  messageLabel_ = new QLabel(this);
  messageLabel_->setObjectName("commandStatus");
  cursorLabel_ = new QLabel(this);
  cursorLabel_->setObjectName("cursorStatus");
  for (QLabel* label : {messageLabel_, cursorLabel_}) {
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    label->setTextFormat(Qt::PlainText);
  }
  zoomLabel_ = new QLabel(this);
  zoomLabel_->setObjectName("zoomStatus");
  statusBar()->addWidget(messageLabel_, 1);
  statusBar()->addWidget(cursorLabel_, 2);
  statusBar()->addPermanentWidget(zoomLabel_);
  connect(display_, &DisplayWidget::cursorStatus, this, [this](const QString& text) {
    cursorLabel_->setText(text);
    cursorLabel_->setToolTip(text);
    // Away from the picture the command's line has the whole width.
    cursorLabel_->setVisible(!text.isEmpty());
  });
  cursorLabel_->hide();
  connect(display_, &DisplayWidget::viewChanged, this, [this] {
    UpdateZoomLabel();
    RefreshCheckMarks();
  });

  const QSettings settings;
  const int scale = settings.value("view/vectorScale", 1).toInt();
  display_->SetVectorScale(std::find(std::begin(kVectorScales), std::end(kVectorScales), scale) !=
                                   std::end(kVectorScales)
                               ? scale
                               : 1);
  display_->SetLegendShown(settings.value("view/legend", true).toBool());

  platform_.SetMainWindow(this);
  RefreshCheckMarks();
  UpdateZoomLabel();
}

MainWindow::~MainWindow() {
  if (platform_.mainWindow() == this) platform_.SetMainWindow(nullptr);
}

void MainWindow::BuildMenu() {
  // Popups and submenus appear in the order of their first item in the table.
  for (const CommandEntry& entry : CommandTable()) {
    if (entry.menuPath == nullptr || entry.menuText == nullptr) continue;
    const std::string path = entry.menuPath;
    QMenu* menu = nullptr;
    std::size_t begin = 0;
    while (begin <= path.size()) {
      const std::size_t end = std::min(path.find('/', begin), path.size());
      const std::string key = path.substr(0, end);
      const QString title = QString::fromStdString(path.substr(begin, end - begin));
      auto found = menus_.find(key);
      if (found == menus_.end()) {
        QMenu* created = menu == nullptr ? menuBar()->addMenu(title) : menu->addMenu(title);
        found = menus_.emplace(key, created).first;
      }
      menu = found->second;
      begin = end + 1;
    }

    QAction* action = AddItem(menu, entry.id, QString::fromUtf8(entry.menuText));
    action->setCheckable(MenuCheckState(State(), entry.id) >= 0);
    if (entry.id == IDM_VIEW_TRIANGLES) menu->addSeparator();
  }
}

QAction* MainWindow::AddItem(QMenu* menu, int id, const QString& text, bool checkable) {
  QAction* action = menu->addAction(text);
  action->setData(id);
  action->setCheckable(checkable);
  connect(action, &QAction::triggered, this, [this, id] { RunMenuCommand(id); });
  actions_[id] = action;
  return action;
}

void MainWindow::AddWindowItems() {
  // View: how the picture is placed, then the vectors' exaggeration and the legend.
  if (QMenu* view = menus_["&View"]) {
    view->addSeparator();
    placementGroup_ = new QActionGroup(this);
    // At another zoom none of the placements holds.
    placementGroup_->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    for (auto [id, text] : {std::pair{IDM_VIEW_FIT, "&Fit to Window"},
                            std::pair{IDM_VIEW_ACTUAL, "&Actual Pixels"}}) {
      placementGroup_->addAction(AddItem(view, id, text, true));
    }
    AddItem(view, IDM_VIEW_ZOOM_IN, "Zoom &In");
    AddItem(view, IDM_VIEW_ZOOM_OUT, "Zoom &Out");
    placementGroup_->addAction(AddItem(view, IDM_VIEW_STRETCH, "St&retch to Window", true));
    view->addSeparator();
    QMenu* scales = view->addMenu("&Vector Scale");
    vectorScaleGroup_ = new QActionGroup(this);
    for (int i = 0; i < static_cast<int>(std::size(kVectorScales)); ++i) {
      const QString text = QString("&%1 \u00d7%2").arg(i + 1).arg(kVectorScales[i]);
      vectorScaleGroup_->addAction(AddItem(scales, IDM_VECTOR_SCALE_FIRST + i, text, true));
    }
    AddItem(view, IDM_VIEW_LEGEND, "&Legend", true);
  }
  if (QMenu* edit = menus_["&Edit"]) AddItem(edit, IDM_FURTHER_OPTIONS, "&Further Options...");
  if (QMenu* file = menus_["&File"]) {
    recentMenu_ = new QMenu("&Recent Files", file);
    recentMenu_->setObjectName("recentFiles");
    file->insertMenu(ActionOf(IDM_EXIT), recentMenu_);
    file->insertSeparator(ActionOf(IDM_EXIT));
    // Built as it opens: an item must not be deleted while its own trigger runs.
    connect(recentMenu_, &QMenu::aboutToShow, this, &MainWindow::RebuildRecentMenu);
    RebuildRecentMenu();
  }
}

void MainWindow::AddShortcuts() {
  const std::pair<int, QList<QKeySequence>> keys[] = {
      {IDM_OPEN_IMAGE, {QKeySequence(Qt::CTRL | Qt::Key_O)}},
      {IDM_POINTS_SAVE, {QKeySequence(Qt::CTRL | Qt::Key_S)}},
      {IDM_ORBIK_SAVE_ZMR, {QKeySequence(Qt::CTRL | Qt::Key_E)}},
      {IDM_HELP_TOPICS, {QKeySequence(Qt::Key_F1)}},
      {IDM_EXIT, {QKeySequence(Qt::CTRL | Qt::Key_Q)}},
      {IDM_AUTODETECT, {QKeySequence(Qt::Key_F5)}},
      {IDM_TRANSFORM, {QKeySequence(Qt::CTRL | Qt::Key_T)}},
      {IDM_VIEW_FIT, {QKeySequence(Qt::CTRL | Qt::Key_0)}},
      {IDM_VIEW_ACTUAL, {QKeySequence(Qt::CTRL | Qt::Key_1)}},
      {IDM_VIEW_ZOOM_IN,
       {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)}},
      {IDM_VIEW_ZOOM_OUT, {QKeySequence(Qt::CTRL | Qt::Key_Minus)}},
  };
  for (const auto& [id, sequences] : keys) {
    if (QAction* action = ActionOf(id)) action->setShortcuts(sequences);
  }
}

QAction* MainWindow::ActionOf(int id) const {
  const auto found = actions_.find(id);
  return found == actions_.end() ? nullptr : found->second;
}

bool MainWindow::RunWindowCommand(int id) {
  QSettings settings;
  if (id >= IDM_VECTOR_SCALE_FIRST && id <= IDM_VECTOR_SCALE_LAST) {
    const int scale = kVectorScales[id - IDM_VECTOR_SCALE_FIRST];
    display_->SetVectorScale(scale);
    settings.setValue("view/vectorScale", scale);
    return true;
  }
  switch (id) {
    case IDM_VIEW_FIT:
      display_->FitToWindow();
      return true;
    case IDM_VIEW_ACTUAL:
      display_->ActualPixels();
      return true;
    case IDM_VIEW_ZOOM_IN:
      display_->ZoomBy(ViewTransform::kZoomStep);
      return true;
    case IDM_VIEW_ZOOM_OUT:
      display_->ZoomBy(1.0 / ViewTransform::kZoomStep);
      return true;
    case IDM_VIEW_STRETCH:
      display_->StretchToWindow();
      return true;
    case IDM_VIEW_LEGEND:
      display_->SetLegendShown(!display_->legendShown());
      settings.setValue("view/legend", display_->legendShown());
      return true;
    case IDM_FURTHER_OPTIONS:
      RunFurtherOptionsDialogQt(this, platform_.Program());
      return true;
    case IDM_RECENT_CLEAR:
      recent_.Clear();
      return true;
    default:
      return false;
  }
}

void MainWindow::RunMenuCommand(int id) {
  // The menu takes no input while a worker finishes, but a queued trigger could still come;
  // it is dropped, and a check mark Qt toggled for it is put back.
  if (platform_.WorkerRunning()) {
    RefreshCheckMarks();
    return;
  }
  if (RunWindowCommand(id)) {
    RefreshCheckMarks();
    return;
  }
  for (const DialogPurpose& purpose : kDialogPurposes) {
    if (purpose.id == id) platform_.SetFileDialogPurpose(purpose.save, purpose.title);
  }
  platform_.ForgetChosenFile();
  const int messagesBefore = platform_.messagesShown();
  inCommand_ = true;
  commandNotes_.clear();
  QElapsedTimer timer;
  timer.start();
  try {
    RunCommand(id, platform_);
  } catch (const std::bad_alloc&) {
    platform_.Message("Error - not enough memory", kMessageCaption);
  } catch (const std::exception& e) {
    platform_.Message(std::string("Error - ") + e.what(), kMessageCaption);
  } catch (...) {
    platform_.Message("Error - the command failed", kMessageCaption);
  }
  inCommand_ = false;
  platform_.SetFileDialogPurpose(false, {});
  AfterCommand(id, timer.elapsed() / 1000.0, platform_.messagesShown() != messagesBefore);
  RefreshCheckMarks();
  if (closePending_) {
    closePending_ = false;
    close();
  }
}

void MainWindow::AfterCommand(int id, double seconds, bool failed) {
  const ProgramState& s = platform_.Program();
  const std::string chosen = platform_.lastChosenFile();
  const bool opened = !failed && !chosen.empty();
  if (opened && (OpensImage(id) || id == IDM_POINTS_OPEN)) {
    recent_.Add(id, FromLocal(chosen));
    const QString name = FromLocal(BaseName(chosen));
    if (id == IDM_POINTS_OPEN) {
      pointsName_ = name;
    } else {
      imageName_ = name;
      // A new image is shown whole, unless the user chose the stretched view.
      if (display_->view().mode() == ViewMode::kZoom) display_->FitToWindow();
    }
    UpdateTitle();
  }
  QStringList parts;
  // A command that failed or did not run (a message, a cancelled dialog) has nothing to sum up.
  if (!failed) {
    const std::string summary = CommandSummaryText(s, id, seconds);
    if (!summary.empty() && (id != IDM_POINTS_OPEN || opened)) {
      parts << QString::fromStdString(summary);
    }
  }
  parts << commandNotes_;
  commandNotes_.clear();
  if (!parts.isEmpty()) SetStatusMessage(parts.join("  \u2014  "));
}

void MainWindow::OpenFiles(const QStringList& paths) {
  // Images first, so that points files opened with them are drawn over the right image.
  std::vector<std::pair<int, QString>> files;
  for (const QString& path : paths) {
    const std::string local = QFile::encodeName(QFileInfo(path).absoluteFilePath()).toStdString();
    const int id = OpenCommandForFile(local);
    if (id == 0) {
      std::string reason = ReadProblem(local);
      if (reason.empty()) reason = BaseName(local) + ": cannot be read";
      platform_.MessageWithReason("Error - cannot open the file", kMessageCaption, reason);
      continue;
    }
    files.emplace_back(id, FromLocal(local));
  }
  std::stable_sort(files.begin(), files.end(), [](const auto& a, const auto& b) {
    return (a.first == IDM_POINTS_OPEN) < (b.first == IDM_POINTS_OPEN);
  });
  for (const auto& [id, path] : files) {
    platform_.PresetFileName(QFile::encodeName(path).toStdString());
    RunMenuCommand(id);
    platform_.PresetFileName({});
  }
}

void MainWindow::OpenStartupFiles(const QStringList& arguments) {
  QStringList files;
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    if (!arguments[i].startsWith('-')) files << arguments[i];
  }
  OpenFiles(files);
}

void MainWindow::RebuildRecentMenu() {
  if (recentMenu_ == nullptr) return;
  recentMenu_->clear();
  const std::vector<RecentFile> files = recent_.List();
  int number = 1;
  for (const RecentFile& file : files) {
    const QFileInfo info(file.path);
    QAction* action = recentMenu_->addAction(
        QString("&%1 %2   (%3)").arg(number++).arg(info.fileName(), info.absolutePath()));
    action->setData(file.path);
    connect(action, &QAction::triggered, this, [this, file] {
      if (!QFileInfo::exists(file.path)) {
        const std::string local = QFile::encodeName(file.path).toStdString();
        platform_.MessageWithReason("Error - cannot open the file", kMessageCaption,
                                    ReadProblem(local));
        recent_.Remove(file.path);
        return;
      }
      platform_.PresetFileName(QFile::encodeName(file.path).toStdString());
      RunMenuCommand(file.command);
      platform_.PresetFileName({});
    });
  }
  if (files.empty()) recentMenu_->addAction("(none)")->setEnabled(false);
  recentMenu_->addSeparator();
  QAction* clear = recentMenu_->addAction("&Clear Recent Files");
  clear->setEnabled(!files.empty());
  connect(clear, &QAction::triggered, this, [this] { RunMenuCommand(IDM_RECENT_CLEAR); });
}

void MainWindow::UpdateTitle() {
  QStringList names;
  if (!imageName_.isEmpty()) names << imageName_;
  if (!pointsName_.isEmpty()) names << pointsName_;
  setWindowTitle(names.isEmpty() ? QString(kWindowCaption)
                                 : names.join(", ") + " - " + kWindowCaption);
}

void MainWindow::UpdateZoomLabel() {
  const ViewTransform& view = display_->view();
  const int percent = static_cast<int>(std::lround(100.0 * view.zoomX()));
  switch (view.mode()) {
    case ViewMode::kFit:
      zoomLabel_->setText(QString("Fit %1 %").arg(percent));
      break;
    case ViewMode::kStretch:
      zoomLabel_->setText("Stretched");
      break;
    case ViewMode::kZoom:
      zoomLabel_->setText(QString("%1 %").arg(percent));
      break;
  }
}

void MainWindow::ShowNote(const QString& text) {
  if (inCommand_) {
    commandNotes_ << text;
    return;
  }
  SetStatusMessage(text);
}

void MainWindow::SetStatusMessage(const QString& text) {
  messageLabel_->setText(text);
  messageLabel_->setToolTip(text);
}

QString MainWindow::StatusMessage() const { return messageLabel_->text(); }
QString MainWindow::CursorStatus() const { return cursorLabel_->text(); }

void MainWindow::RefreshCheckMarks() {
  for (const auto& [id, action] : actions_) {
    const int state = MenuCheckState(State(), id);
    if (state >= 0) action->setChecked(state == 1);
  }
  const ViewTransform& view = display_->view();
  if (QAction* fit = ActionOf(IDM_VIEW_FIT)) fit->setChecked(view.mode() == ViewMode::kFit);
  if (QAction* stretch = ActionOf(IDM_VIEW_STRETCH)) {
    stretch->setChecked(view.mode() == ViewMode::kStretch);
  }
  if (QAction* actual = ActionOf(IDM_VIEW_ACTUAL)) {
    actual->setChecked(view.mode() == ViewMode::kZoom && view.zoomX() == 1.0);
  }
  for (int i = 0; i < static_cast<int>(std::size(kVectorScales)); ++i) {
    if (QAction* a = ActionOf(IDM_VECTOR_SCALE_FIRST + i)) {
      a->setChecked(kVectorScales[i] == display_->vectorScale());
    }
  }
  if (QAction* legend = ActionOf(IDM_VIEW_LEGEND)) legend->setChecked(display_->legendShown());
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (platform_.WorkerRunning()) {
    // The command that runs the worker still has to finish; close after it.
    closePending_ = true;
    event->ignore();
    return;
  }
  if (ThresholdDialog* dialog = platform_.thresholdDialog()) dialog->close();
  QSettings().setValue("window/geometry", saveGeometry());
  event->accept();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  const QList<QUrl> urls = event->mimeData()->urls();
  const bool files = !urls.isEmpty() && std::all_of(urls.begin(), urls.end(),
                                                    [](const QUrl& u) { return u.isLocalFile(); });
  if (files && !platform_.WorkerRunning()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  QStringList paths;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) paths << url.toLocalFile();
  }
  event->acceptProposedAction();
  // After the drop has finished: the commands may show dialogs.
  QTimer::singleShot(0, this, [this, paths] { OpenFiles(paths); });
}

void MainWindow::ShowWithOuterSize(int width, int height) {
  FitOuterSize(width, height);
  show();
  // The frame is known only once the window system has framed the window.
  QTimer::singleShot(0, this, [this, width, height] { FitOuterSize(width, height); });
}

void MainWindow::ShowAtStart(int width, int height) {
  const QByteArray geometry = QSettings().value("window/geometry").toByteArray();
  if (!geometry.isEmpty() && restoreGeometry(geometry)) {
    show();
    return;
  }
  ShowWithOuterSize(width, height);
}

void MainWindow::FitOuterSize(int width, int height) {
  int w = std::max(width, kMinimumWidth);
  int h = std::max(height, kMinimumHeight);
  if (const QScreen* s = screen()) {
    w = std::min(w, s->availableGeometry().width());
    h = std::min(h, s->availableGeometry().height());
  }
  const QMargins frame = windowHandle() != nullptr ? windowHandle()->frameMargins() : QMargins();
  resize(std::max(w - frame.left() - frame.right(), kMinimumWidth / 2),
         std::max(h - frame.top() - frame.bottom(), kMinimumHeight / 2));
}

}  // namespace zmr
