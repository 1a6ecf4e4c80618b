// SPDX-License-Identifier: MIT
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

// Reads the system's fonts on a thread of its own while the window's thread reaches the window
// system and builds the window. The first text the window measures needs them; read on the
// window's thread they would hold up everything before it.
//
// Made before the application: the font configuration is read at once. listFonts() is called
// once the application exists, and finish() before it goes.
class FontWarmUp
{
public:
    FontWarmUp();
    ~FontWarmUp();
    FontWarmUp(const FontWarmUp &) = delete;
    FontWarmUp &operator=(const FontWarmUp &) = delete;

    // The application exists: after the configuration, the thread reads the application's
    // list of fonts.
    void listFonts();
    // Waits for the thread, and stops it before the list if that has not begun.
    void finish();

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_listFonts = false;
    bool m_finish = false;
    std::thread m_thread;
};
