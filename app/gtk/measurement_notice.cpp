#include "app/gtk/measurement_notice.h"

#include <glib.h>

#include <atomic>

#include "measure/sweep.h"

namespace {
// Notices posted and neither delivered nor dropped. Raised by the sweep's
// thread, lowered and reset only on the main thread.
std::atomic<unsigned> pendingNotices{0};
std::atomic<MeasurementNoticeHandler> noticeHandler{nullptr};

gboolean DeliverNotice(gpointer window) {
  if (pendingNotices.load(std::memory_order_acquire) == 0) return G_SOURCE_REMOVE;  // dropped
  pendingNotices.fetch_sub(1, std::memory_order_acq_rel);
  const MeasurementNoticeHandler handler = noticeHandler.load();
  if (handler != nullptr) handler(window);
  return G_SOURCE_REMOVE;
}
}  // namespace

void SetMeasurementNoticeHandler(MeasurementNoticeHandler handler) { noticeHandler.store(handler); }

void PostMeasurementNotice(void* window) {
  pendingNotices.fetch_add(1, std::memory_order_acq_rel);
  // At the priority of input and timers, so that a window repainting as
  // fast as it can still hears of every finished sweep.
  g_idle_add_full(G_PRIORITY_DEFAULT, DeliverNotice, window, nullptr);
}

void DropMeasurementNotices() { pendingNotices.store(0, std::memory_order_release); }

// The sweep's completion notice in the GTK program.
void NotifyMeasurementDone(void* window) { PostMeasurementNotice(window); }
