#include "browser/archive_browser.h"

#include <QApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QShowEvent>
#include <QToolTip>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>

#include "browser/bookmark_title_dialog.h"
#include "browser/browser_clock.h"
#include "browser/calendar_dialog.h"
#include "browser/image_adjust_panel.h"
#include "display/video_widget.h"
#include "export/dialogs/export_progress_window.h"
#include "shell/dialog_frame.h"
#include "shell/message_box.h"
#include "shell/picture_button.h"
#include "shell/string_ids.h"
#include "shell/texts.h"
#include "shell/theme.h"
#include "tools/snapshot_dialog.h"

namespace strixc::browser {

namespace text = shell::text;
using shell::PictureButton;
using shell::Tr;
using shell::TrFormat;

namespace {

constexpr int kTimerMs = 600;
// Geometry of the window: the map strip on top, the labels under it, the video area below them
// at 4:3 at most, and the buttons in the column left of the video area.
constexpr int kMargin = 5;
constexpr int kMapBottom = 120;
constexpr int kLabelTop = 123;
constexpr int kLabelHeight = 15;
constexpr int kLabelPointSize = 8;
constexpr int kVideoTop = 135;
constexpr int kVideoLeft = 130;
constexpr int kVideoBottomMargin = 10;
constexpr int kButtonColumns = 4;
constexpr int kButtonStep = 30;
constexpr int kButtonSize = 28;

uint32_t Rgb(const QColor& colour) { return colour.rgb() & 0xFFFFFFu; }

}  // namespace

// The map's rectangle of the window: shows the map's pictures and hands the mouse to the browser
// in the window's coordinates (the map's host coordinates).
class MapArea : public QWidget {
 public:
  struct Handlers {
    std::function<void(QMouseEvent*, QPoint)> press, move, release;
    std::function<void(QWheelEvent*, QPoint)> wheel;
    std::function<void()> leave;
  };

  MapArea(QWidget* parent, Handlers handlers) : QWidget(parent), handlers_(std::move(handlers)) {
    setMouseTracking(true);
    setObjectName(QStringLiteral("map"));
  }

  void SetPicture(const QImage& picture, const QRect& area) {
    picture_ = picture;
    update(area.translated(-pos()));
  }
  const QImage& Picture() const { return picture_; }

 protected:
  void paintEvent(QPaintEvent* event) override {
    QPainter painter(this);
    painter.fillRect(event->rect(), shell::theme::kBackground);
    if (!picture_.isNull()) painter.drawImage(event->rect().topLeft(), picture_, event->rect());
  }
  void mousePressEvent(QMouseEvent* event) override { handlers_.press(event, Host(event)); }
  void mouseMoveEvent(QMouseEvent* event) override { handlers_.move(event, Host(event)); }
  void mouseReleaseEvent(QMouseEvent* event) override { handlers_.release(event, Host(event)); }
  void wheelEvent(QWheelEvent* event) override { handlers_.wheel(event, event->position().toPoint() + pos()); }
  void leaveEvent(QEvent*) override { handlers_.leave(); }

 private:
  QPoint Host(QMouseEvent* event) const { return event->position().toPoint() + pos(); }

  Handlers handlers_;
  QImage picture_;
};

ArchiveBrowser::ArchiveBrowser(playback::PlaybackSource* source, display::VideoDisplay* display,
                               video::FrameSource* liveFrames, ArchiveMapControl* map,
                               display::VideoWidget* liveView, ArchiveBrowserTools tools, QWidget* parent)
    : QDialog(parent, Qt::FramelessWindowHint),
      source_(source),
      display_(display),
      liveFrames_(liveFrames),
      map_(map),
      liveView_(liveView),
      tools_(std::move(tools)) {
  BrowserView* view = this;
  commands_ = std::make_unique<BrowserCommands>(source, display, map, view);
  setPalette(shell::theme::DarkPalette(palette()));
  setAutoFillBackground(true);
  // Covering the screen from the start: window managers do not always report where a frameless
  // window went when they maximise it, and the dialogs opened over the browser are centred on the
  // geometry Qt believes it has.
  if (QScreen* screen = parent != nullptr ? parent->screen() : QGuiApplication::primaryScreen()) {
    setGeometry(screen->availableGeometry());
  }
  setWindowState(Qt::WindowMaximized);
  BuildControls();
  timer_.setInterval(kTimerMs);
  connect(&timer_, &QTimer::timeout, this, &ArchiveBrowser::OnTimer);
}

ArchiveBrowser::~ArchiveBrowser() { CloseBrowser(); }

// ---------------------------------------------------------------------------------------------
// Controls

QRect ArchiveBrowser::MapRect(QSize size) {
  return QRect(QPoint(kMargin, kMargin), QPoint(size.width() - kMargin, kMapBottom));
}

QRect ArchiveBrowser::VideoRect(QSize size) {
  const int bottom = size.height() - kVideoBottomMargin;
  const int right = std::min(size.width() - kMargin, kVideoLeft + (bottom - kVideoTop) * 4 / 3);
  return QRect(QPoint(kVideoLeft, kVideoTop), QPoint(right, bottom));
}

PictureButton* ArchiveBrowser::AddButton(const char* name, const QString& caption, int tooltip) {
  auto* button = new PictureButton(caption, body_);
  button->setObjectName(QLatin1String(name));
  if (tooltip != 0) button->SetTooltip(Tr(tooltip));
  button->setFocusPolicy(Qt::NoFocus);
  return button;
}

void ArchiveBrowser::BuildControls() {
  body_ = new QWidget(this);
  MapArea::Handlers handlers;
  handlers.press = [this](QMouseEvent* e, QPoint p) {
    if (e->button() == Qt::LeftButton) commands_->MapPress(p);
    if (e->button() == Qt::MiddleButton) commands_->PanStart(p.x());
    if (e->button() == Qt::RightButton) OpenMapMenu(p, e->globalPosition().toPoint());
  };
  handlers.move = [this](QMouseEvent* e, QPoint p) {
    commands_->MapMove(p);
    if (e->buttons() & Qt::MiddleButton) commands_->PanMove(p.x());
    ShowHover(p, e->globalPosition().toPoint());
  };
  handlers.release = [this](QMouseEvent* e, QPoint p) {
    if (e->button() == Qt::LeftButton) commands_->MapRelease(p);
    if (e->button() == Qt::MiddleButton) commands_->PanEnd();
  };
  handlers.wheel = [this](QWheelEvent* e, QPoint p) { commands_->WheelZoom(p.x(), e->angleDelta().y() / 120); };
  handlers.leave = [] { QToolTip::hideText(); };
  mapArea_ = new MapArea(body_, std::move(handlers));

  video_ = new display::VideoWidget(*display_, body_);
  video_->setObjectName(QStringLiteral("video"));
  video_->SetBackground(Rgb(shell::theme::kBackground));
  connect(video_, &display::VideoWidget::MousePressed, this, [this](QPoint p, Qt::MouseButton button) {
    if (button == Qt::LeftButton) commands_->VideoPress(p);
    if (button == Qt::RightButton) {
      commands_->VideoRightPress(p);
      OpenCameraMenu(QCursor::pos());
    }
  });
  connect(video_, &display::VideoWidget::MouseMoved, this, [this](QPoint p, Qt::MouseButtons) {
    commands_->VideoMove(p);
    QToolTip::hideText();
  });
  connect(video_, &display::VideoWidget::MouseReleased, this, [this](QPoint p, Qt::MouseButton button) {
    if (button == Qt::LeftButton) commands_->VideoRelease(p);
  });
  connect(video_, &display::VideoWidget::DoubleClicked, this, [this](QPoint p) { commands_->VideoDoubleClick(p); });
  connect(video_, &display::VideoWidget::AttachFailed, this, [this] { ShowMessage(text::kDirectXError); });

  // The labels share the map axis's small print, so that the cursor time fits its column.
  QFont small = font();
  small.setPointSize(kLabelPointSize);
  const auto label = [this, &small](const char* name) {
    auto* l = new QLabel(body_);
    l->setObjectName(QLatin1String(name));
    l->setFont(small);
    return l;
  };
  cursorLabel_ = label("cursor_time");
  summaryLabel_ = label("summary");
  infoLabel_ = label("info");

  // Buttons on a grid of the left column: (row, column, columns spanned).
  const auto place = [this](PictureButton* b, int row, int column, int span = 1) {
    placed_.emplace_back(b, QRect(column, row, span, 1));
  };
  const auto clicked = [this](PictureButton* b, auto call) { connect(b, &PictureButton::clicked, this, call); };

  const struct {
    const char* name;
    const char* caption;
    int tooltip;
    int mode;
  } modes[] = {
      {"play", "\u25B6", text::kTooltipPlay, 1},
      {"play_double", "\u00D72", text::kTooltipPlayDouble, 2},
      {"fast_forward", "\u25B6\u25B6", text::kTooltipFastForward, 3},
      {"fast_backward", "\u25C0\u25C0", text::kTooltipFastBackward, 4},
      {"step_forward", "\u25B6|", text::kTooltipStepForward, 5},
      {"step_backward", "|\u25C0", text::kTooltipStepBackward, 6},
  };
  PictureButton* stop = AddButton("stop", QStringLiteral("\u25A0"), text::kTooltipStop);
  clicked(stop, [this] { commands_->Stop(); });
  place(stop, 0, 0);
  for (const auto& m : modes) {
    PictureButton* b = AddButton(m.name, QString::fromUtf8(m.caption), m.tooltip);
    const int mode = m.mode;
    clicked(b, [this, mode] { commands_->StartMode(mode); });
    if (mode <= 4) modeButtons_[static_cast<size_t>(mode - 1)] = b;
    // Backward, step backward, step forward under the forward modes.
    place(b, mode < 4 ? 0 : 1, mode < 4 ? mode : mode == 4 ? 0 : mode == 6 ? 1 : 2);
  }

  const struct {
    const char* name;
    const char* caption;
    int tooltip;
    BrowserCommands::ViewMove move;
  } moves[] = {
      {"earlier_half", "\u00AB", text::kTooltipEarlierHalf, BrowserCommands::ViewMove::kEarlierHalf},
      {"earlier_eighth", "\u2039", text::kTooltipEarlierEighth, BrowserCommands::ViewMove::kEarlierEighth},
      {"later_eighth", "\u203A", text::kTooltipLaterEighth, BrowserCommands::ViewMove::kLaterEighth},
      {"later_half", "\u00BB", text::kTooltipLaterHalf, BrowserCommands::ViewMove::kLaterHalf},
      {"zoom_in", "+", text::kDomeZoomIn, BrowserCommands::ViewMove::kZoomIn},
      {"zoom_out", "\u2212", text::kDomeZoomOut, BrowserCommands::ViewMove::kZoomOut},
  };
  for (size_t i = 0; i < std::size(moves); ++i) {
    PictureButton* b = AddButton(moves[i].name, QString::fromUtf8(moves[i].caption), moves[i].tooltip);
    const auto move = moves[i].move;
    clicked(b, [this, move] { commands_->MoveView(move); });
    place(b, 2 + static_cast<int>(i) / 4, static_cast<int>(i) % 4);
  }

  selectAreaButton_ = AddButton("select_area", QStringLiteral("\u25AD"), text::kTooltipSelectArea);
  clicked(selectAreaButton_, [this] { commands_->SwitchMouseMode(BrowserCommands::kMouseSelectArea); });
  place(selectAreaButton_, 3, 2);
  zoomAreaButton_ = AddButton("zoom_area", QStringLiteral("\u2295"), text::kTooltipZoomArea);
  clicked(zoomAreaButton_, [this] { commands_->SwitchMouseMode(BrowserCommands::kMouseZoomArea); });
  place(zoomAreaButton_, 3, 3);

  for (int k = 1; k <= BrowserCommands::kLayoutButtons; ++k) {
    const QByteArray name = "layout" + QByteArray::number(k);
    PictureButton* b = AddButton(name.constData(), TrFormat(text::kMenuLayoutItem, k), text::kTooltipScreenLayout);
    clicked(b, [this, k] { commands_->SelectLayout(k); });
    layoutButtons_[static_cast<size_t>(k - 1)] = b;
    place(b, 4 + (k - 1) / 4, (k - 1) % 4);
  }
  imagePanelButton_ = AddButton("image_panel", QStringLiteral("\u263C"), text::kTooltipImageAdjustment);
  clicked(imagePanelButton_, [this] { ToggleImagePanel(); });
  place(imagePanelButton_, 5, 3);

  PictureButton* previous = AddButton("previous_bookmark", QStringLiteral("\u25C2\u25C6"), text::kMenuPreviousBookmark);
  clicked(previous, [this] { commands_->PreviousBookmark(); });
  place(previous, 6, 0);
  PictureButton* add = AddButton("add_bookmark", QStringLiteral("\u25C6"), text::kMenuAddBookmark);
  clicked(add, [this] { commands_->AddBookmarkAtCursor(); });
  place(add, 6, 1);
  PictureButton* next = AddButton("next_bookmark", QStringLiteral("\u25C6\u25B8"), text::kMenuNextBookmark);
  clicked(next, [this] { commands_->NextBookmark(); });
  place(next, 6, 2);
  PictureButton* snapshot = AddButton("snapshot", QStringLiteral("\u25A3"), text::kMenuSnapshot);
  clicked(snapshot, [this] { Snapshot(); });
  place(snapshot, 6, 3);

  searchButton_ = AddButton("motion_search", QStringLiteral("\u25CE"), text::kTooltipMotionSearch);
  clicked(searchButton_, [this] { commands_->StartMotionSearch(); });
  place(searchButton_, 7, 0);
  PictureButton* avi = AddButton("export_avi", QStringLiteral("AVI"), text::kTooltipExportAvi);
  clicked(avi, [this] { commands_->ExportSelectedCamera(); });
  avi->setEnabled(static_cast<bool>(tools_.askExport));
  if (!tools_.askExport) avi->SetTooltip(Tr(text::kTooltipNotAvailable));
  place(avi, 7, 1);
  PictureButton* quality = AddButton("video_quality", QStringLiteral("Q"), text::kVideoQuality);
  clicked(quality, [this] {
    if (!commands_->HasDatabase() && tools_.videoQuality) tools_.videoQuality(this);
  });
  place(quality, 7, 2);

  PictureButton* wholeDay = AddButton("whole_day", Tr(text::kShowWholeDay), 0);
  clicked(wholeDay, [this] { commands_->ShowWholeDay(); });
  place(wholeDay, 8, 0, kButtonColumns);
  PictureButton* calendar = AddButton("calendar", Tr(text::kCalendar), 0);
  clicked(calendar, [this] { commands_->Calendar(); });
  place(calendar, 9, 0, kButtonColumns);
  PictureButton* backup = AddButton("backup", Tr(text::kBackup), 0);
  clicked(backup, [this] { commands_->Backup(); });
  place(backup, 10, 0, kButtonColumns);
  PictureButton* exit = AddButton("exit", Tr(text::kExit), 0);
  clicked(exit, [this] { reject(); });
  place(exit, 11, 0, kButtonColumns);
}

void ArchiveBrowser::LayOut() {
  const QSize size = this->size();
  body_->setGeometry(rect());
  mapArea_->setGeometry(MapRect(size));
  video_->setGeometry(VideoRect(size));
  // The cursor label is 130 wide unless its longest text needs more; the summary follows it.
  const int cursorWidth = std::max(
      130, cursorLabel_->fontMetrics().horizontalAdvance(TimeAndDateText(archive::kUnitsPerDay * 150'000, true)) + 8);
  cursorLabel_->setGeometry(10, kLabelTop, cursorWidth, kLabelHeight);
  summaryLabel_->setGeometry(std::max(135, 10 + cursorWidth + 5), kLabelTop, 400, kLabelHeight);
  infoLabel_->setGeometry(size.width() - 250, kLabelTop, 240, kLabelHeight);
  for (const auto& [button, cell] : placed_) {
    // The last row (Exit) sits at the bottom of the column.
    const int y = button->objectName() == QLatin1String("exit") ? size.height() - kVideoBottomMargin - kButtonSize
                                                                   : kVideoTop + cell.top() * kButtonStep;
    button->setGeometry(kMargin + cell.left() * kButtonStep, y, cell.width() * kButtonStep - 2, kButtonSize);
  }
}

void ArchiveBrowser::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  LayOut();
  if (opened_) commands_->Relayout(MapRect(size()));
}

// ---------------------------------------------------------------------------------------------
// Opening and closing

void ArchiveBrowser::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!opened_) OpenBrowser();
}

void ArchiveBrowser::OpenBrowser() {
  opened_ = true;
  LayOut();
  // The live view stops drawing: the display is this window's until it closes.
  if (liveView_) liveView_->Unbind();
  // The display takes this window's video area before the layout is applied to it.
  if (!video_->Bind()) ShowMessage(text::kDirectXError);
  commands_->Open(MapRect(size()));
  summaryLabel_->setText(commands_->SummaryText());
  const bool local = commands_->HasDatabase();
  PictureButton* backup = body_->findChild<PictureButton*>(QStringLiteral("backup"));
  backup->setEnabled(local && tools_.backup);
  if (!tools_.backup) backup->SetTooltip(Tr(text::kTooltipNotAvailable));
  PictureButton* quality = body_->findChild<PictureButton*>(QStringLiteral("video_quality"));
  quality->setEnabled(!local && tools_.videoQuality);
  quality->SetTooltip(Tr(!tools_.videoQuality ? text::kTooltipNotAvailable
                         : local              ? text::kTooltipRemoteOnly
                                              : text::kVideoQuality));
  imagePanel_ = new ImageAdjustPanel(display_, this);
  imagePanel_->SetSensitivityHooks([this](int camera) { return commands_->Sensitivity(camera); },
                                   [this](int camera, int value) { commands_->SetSensitivity(camera, value); });
  imagePanel_->SetCamera(commands_->SelectedCamera());
  StateChanged();
  timer_.start();
}

void ArchiveBrowser::CloseBrowser() {
  if (!opened_) return;
  opened_ = false;
  timer_.stop();
  QToolTip::hideText();
  if (progress_) progress_->hide();
  delete imagePanel_.data();
  commands_->Close();
  video_->Unbind();
  display_->SetFrameSource(liveFrames_);
  if (liveView_) liveView_->Bind();
}

void ArchiveBrowser::done(int result) {
  CloseBrowser();
  QDialog::done(result);
}

// ---------------------------------------------------------------------------------------------
// Menus, hover, timer

void ArchiveBrowser::OpenMapMenu(QPoint point, QPoint global) {
  commands_->OpenMapMenu(point.x());
  QMenu menu(this);
  connect(menu.addAction(Tr(text::kMenuSetBookmark)), &QAction::triggered, this,
          [this] { commands_->SetBookmarkAtMenuTime(); });
  const std::optional<QString> remove = commands_->RemoveBookmarkText();
  QAction* removeAction = menu.addAction(remove.value_or(Tr(text::kMenuRemoveBookmark)));
  removeAction->setEnabled(remove.has_value());
  connect(removeAction, &QAction::triggered, this, [this] { commands_->RemoveBookmarkAtMenuTime(); });
  menu.exec(global);
}

void ArchiveBrowser::FillCameraMenu(QMenu& popup) {
  popup.addAction(Tr(text::kMenuConnect))->setEnabled(false);
  popup.addSeparator();
  QMenu* modes = popup.addMenu(Tr(text::kMenuDisplayMode));
  for (int id : {text::kMenuNormal, text::kMenuFullscreen, text::kPreview, text::kMenuStayOnTop, text::kMenuShowMenu}) {
    modes->addAction(Tr(id))->setEnabled(false);
  }
  QMenu* layouts = popup.addMenu(Tr(text::kMenuLayout));
  for (int k = 1; k <= BrowserCommands::kLayoutButtons; ++k) {
    QAction* action = layouts->addAction(TrFormat(text::kMenuLayoutItem, k));
    action->setCheckable(true);
    action->setChecked(layoutButtons_[static_cast<size_t>(k - 1)]->IsChecked());
    action->setEnabled(layoutButtons_[static_cast<size_t>(k - 1)]->isEnabled());
    connect(action, &QAction::triggered, this, [this, k] { commands_->SelectLayout(k); });
  }
  QMenu* cameras = popup.addMenu(Tr(text::kMenuVisibleCamera));
  for (int camera = 0; camera < commands_->CameraCount(); ++camera) {
    const QByteArray name = QByteArray::fromStdString(display_->GetName(camera));
    QAction* action = cameras->addAction(TrFormat(text::kCameraMenuItem, camera + 1, name.constData()));
    action->setCheckable(true);
    action->setChecked(camera == commands_->SelectedCamera());
    connect(action, &QAction::triggered, this, [this, camera] { commands_->PutCamera(camera); });
  }
  connect(popup.addAction(Tr(text::kMenuSnapshot)), &QAction::triggered, this, &ArchiveBrowser::Snapshot);
  popup.addSeparator();
  connect(popup.addAction(Tr(text::kMenuAddBookmark)), &QAction::triggered, this,
          [this] { commands_->AddBookmarkAtCursor(); });
  connect(popup.addAction(Tr(text::kMenuNextBookmark)), &QAction::triggered, this,
          [this] { commands_->NextBookmark(); });
  connect(popup.addAction(Tr(text::kMenuPreviousBookmark)), &QAction::triggered, this,
          [this] { commands_->PreviousBookmark(); });
  popup.addSeparator();
  popup.addAction(Tr(text::kExit))->setEnabled(false);
}

void ArchiveBrowser::OpenCameraMenu(QPoint global) {
  QMenu popup(this);
  FillCameraMenu(popup);
  popup.exec(global);
}

void ArchiveBrowser::ShowHover(QPoint point, QPoint global) {
  if (!map_->GetRect().contains(point)) {
    QToolTip::hideText();
    return;
  }
  QToolTip::showText(global + QPoint(20, 10), map_->HoverText(point), mapArea_);
}

void ArchiveBrowser::OnTimer() { commands_->Tick(mapFromGlobal(QCursor::pos())); }

void ArchiveBrowser::Snapshot() { tools::RunSnapshot(*display_, this); }

void ArchiveBrowser::ToggleImagePanel() {
  if (!imagePanel_) return;
  imagePanel_->setVisible(!imagePanel_->isVisible());
  imagePanelButton_->SetChecked(imagePanel_->isVisible());
}

// ---------------------------------------------------------------------------------------------
// BrowserView

void ArchiveBrowser::ShowMessage(int textId) {
  if (notify_) {
    notify_(textId);
    return;
  }
  shell::MessageBox::Show(this, textId);
}

void ArchiveBrowser::Beep() { QApplication::beep(); }

void ArchiveBrowser::StateChanged() {
  for (int mode = 1; mode <= 4; ++mode) {
    modeButtons_[static_cast<size_t>(mode - 1)]->SetChecked(commands_->PressedMode() == mode);
  }
  for (int k = 1; k <= BrowserCommands::kLayoutButtons; ++k) {
    layoutButtons_[static_cast<size_t>(k - 1)]->SetChecked(commands_->LayoutButton() == k);
  }
  selectAreaButton_->SetChecked(commands_->Mode() == BrowserCommands::kMouseSelectArea);
  zoomAreaButton_->SetChecked(commands_->Mode() == BrowserCommands::kMouseZoomArea);
  searchButton_->SetChecked(commands_->SearchButtonPressed());
  imagePanelButton_->SetChecked(imagePanel_ && imagePanel_->isVisible());
}

void ArchiveBrowser::CameraSelected(int camera) {
  if (imagePanel_) imagePanel_->SetCamera(camera);
}

void ArchiveBrowser::CursorText(const QString& text) { cursorLabel_->setText(text); }

void ArchiveBrowser::MapPicture(const QImage& picture, const QRect& area) { mapArea_->SetPicture(picture, area); }

bool ArchiveBrowser::AskDays(uint64_t viewStart, uint64_t viewEnd, uint64_t* from, uint64_t* to) {
  CalendarDialog dialog(viewStart, viewEnd, source_, this);
  if (dialog.exec() != QDialog::Accepted) return false;
  *from = dialog.From();
  *to = dialog.To();
  return true;
}

bool ArchiveBrowser::AskBookmarkTitle(uint64_t time, const QString& initialTitle, QString* title) {
  BookmarkTitleDialog dialog(time, initialTitle, this, commands_->WallClock());
  if (dialog.exec() != QDialog::Accepted) return false;
  *title = dialog.Title();
  return true;
}

bool ArchiveBrowser::AskExport(int camera, uint64_t start, uint64_t end, std::string* fileName,
                               int* framesPerSecond) {
  if (!tools_.askExport) return false;
  return tools_.askExport(camera, QString::fromStdString(display_->GetName(camera)), start, end, this, fileName,
                          framesPerSecond);
}

void ArchiveBrowser::RunBackup(archive::ArchiveDatabase& database, uint64_t start, uint64_t end, uint32_t cameras) {
  if (tools_.backup) tools_.backup(database, start, end, cameras, this);
}

void ArchiveBrowser::ExportProgress(int percent) {
  if (percent < 0) {
    if (progress_) progress_->hide();
    return;
  }
  // Its Cancel asks the source to end the export; the end (status 8) hides it.
  if (!progress_) progress_ = new exporting::ExportProgressWindow([this] { source_->CancelExport(); }, this);
  progress_->SetPercent(percent);
  progress_->show();
}

void ArchiveBrowser::SetInputEnabled(bool enabled) { body_->setEnabled(enabled); }

}  // namespace strixc::browser
