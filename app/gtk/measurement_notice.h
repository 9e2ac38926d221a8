// The sweep's completion notice for the GTK window: carried from the sweep's
// thread to the GLib main loop of the process's main thread without waiting.
//
// Each notice raises a pending count and queues one main-loop callback; a
// callback delivers a notice only while the count is above zero, and takes
// one from it. Dropping the notices sets the count to zero, so callbacks
// already queued then find nothing to deliver.
#pragma once

// Runs on the main thread for every delivered notice, with the window the
// sweep was started for.
typedef void (*MeasurementNoticeHandler)(void* window);
void SetMeasurementNoticeHandler(MeasurementNoticeHandler handler);

// Any thread: queues a notice for window on the default main context. Never
// waits for the main thread.
void PostMeasurementNotice(void* window);

// Main thread: every notice posted so far will deliver nothing.
void DropMeasurementNotices();
