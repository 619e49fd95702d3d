#include "playback/playback_source.h"

#include <chrono>

#include <QMetaObject>
#include <QObject>

#include "playback/arch_browser_timer.h"

namespace strixc::playback {

namespace {

uint32_t TickMs() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

}  // namespace

PlaybackSource::PlaybackSource()
    : mailbox_(std::make_unique<QObject>()),
      timer_(std::make_unique<ArchBrowserTimer>([this] { RunTick(); })) {}

PlaybackSource::~PlaybackSource() { ShutdownTimer(); }

void PlaybackSource::SetTimeline(Timeline* timeline) {
  std::lock_guard<SourceLock> guard(lock_);
  timeline_ = timeline;
}

void PlaybackSource::SetDisplay(PlaybackDisplay* display) {
  std::lock_guard<SourceLock> guard(lock_);
  display_ = display;
}

void PlaybackSource::SetExportWriterFactory(ExportWriterFactory factory) {
  std::lock_guard<SourceLock> guard(lock_);
  writerFactory_ = std::move(factory);
}

int PlaybackSource::Mode() {
  std::lock_guard<SourceLock> guard(lock_);
  return mode_;
}

void PlaybackSource::RunTick() {
  lock_.LockForTick();
  std::lock_guard<SourceLock> guard(lock_, std::adopt_lock);
  // A Stop, a seek or a new mode that came between the firing and this lock wins over the tick.
  if (!timer_->IsCurrentTick()) return;
  OnTimer();
}

void PlaybackSource::ShutdownTimer() { timer_->Shutdown(); }

void PlaybackSource::BindReceiver(QObject* context, PlaybackReceiver* receiver) {
  std::lock_guard<std::mutex> guard(notifyLock_);
  context_ = context;
  receiver_ = receiver;
  notifiedOnce_ = false;
}

void PlaybackSource::UnbindReceiver() {
  std::lock_guard<std::mutex> guard(notifyLock_);
  context_ = nullptr;
  receiver_ = nullptr;
}

// Orders each notification's posting before its delivery for a thread checker: Qt's event queue
// does so through its own futex-based locks, which the checker cannot see, so the captured values
// would look written by one thread and read by another without order. Posting and delivery both
// pass through this ordinary mutex; it is never held while a notification runs.
static std::mutex& QueueOrder() {
  static std::mutex order;
  return order;
}

// Each notification runs later on the mailbox's thread, the context's too. The receiver is only
// touched while the context still exists (the caller's promise: the receiver lives as long as the
// context). Calls still queued when the source goes are dropped with its mailbox.
template <typename Call>
static void Post(QObject* mailbox, const QPointer<QObject>& context, PlaybackReceiver* receiver, Call call) {
  if (context.isNull() || receiver == nullptr) return;
  std::lock_guard<std::mutex> posting(QueueOrder());
  QPointer<QObject> guard = context;
  QMetaObject::invokeMethod(
      mailbox,
      [guard, receiver, call] {
        { std::lock_guard<std::mutex> delivered(QueueOrder()); }
        if (!guard.isNull()) call(receiver);
      },
      Qt::QueuedConnection);
}

void PlaybackSource::PostStatus(int code, int64_t value) {
  std::lock_guard<std::mutex> guard(notifyLock_);
  Post(mailbox_.get(), context_, receiver_, [code, value](PlaybackReceiver* r) { r->OnPlaybackStatus(code, value); });
}

void PlaybackSource::PostPosition(uint64_t time, bool force) {
  std::lock_guard<std::mutex> guard(notifyLock_);
  const uint32_t now = TickMs();
  // Unsigned difference: right across the wrap of the 32-bit millisecond count.
  if (!force && notifiedOnce_ && static_cast<uint32_t>(now - lastNotifyTick_) < kPositionIntervalMs) return;
  lastNotifyTick_ = now;
  notifiedOnce_ = true;
  Post(mailbox_.get(), context_, receiver_, [time](PlaybackReceiver* r) { r->OnPlaybackPosition(time); });
}

void PlaybackSource::PostBeep() {
  std::lock_guard<std::mutex> guard(notifyLock_);
  Post(mailbox_.get(), context_, receiver_, [](PlaybackReceiver* r) { r->OnPlaybackBeep(); });
}

void PlaybackSource::PostRequest(uint32_t token) {
  std::lock_guard<std::mutex> guard(notifyLock_);
  Post(mailbox_.get(), context_, receiver_, [token](PlaybackReceiver* r) { r->OnRemoteRequest(token); });
}

void PlaybackSource::Play() {
  std::lock_guard<SourceLock> guard(lock_);
  StartMode(kModePlay, kStatusPlaying);
}

void PlaybackSource::PlayDouble() {
  std::lock_guard<SourceLock> guard(lock_);
  StartMode(kModePlayDouble, kStatusPlayingDouble);
}

void PlaybackSource::FastForward() {
  std::lock_guard<SourceLock> guard(lock_);
  StartMode(kModeFastForward, kStatusFastForward);
}

void PlaybackSource::FastBackward() {
  std::lock_guard<SourceLock> guard(lock_);
  StartMode(kModeFastBackward, kStatusFastBackward);
}

void PlaybackSource::StepForward() {
  std::lock_guard<SourceLock> guard(lock_);
  StartMode(kModeStepForward, -1);
}

void PlaybackSource::StepBackward() {
  std::lock_guard<SourceLock> guard(lock_);
  StartMode(kModeStepBackward, -1);
}

}  // namespace strixc::playback
