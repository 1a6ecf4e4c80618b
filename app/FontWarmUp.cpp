// SPDX-License-Identifier: MIT
#include "app/FontWarmUp.h"

#include "app/AppLog.h"

#include <QFontDatabase>

#include <system_error>

#ifdef LISTRA_HAVE_FONTCONFIG
#include <fontconfig/fontconfig.h>
#endif

FontWarmUp::FontWarmUp()
{
    try {
        m_thread = std::thread([this] { run(); });
    } catch (const std::system_error &error) {
        qCInfo(lcApp) << "The fonts are read when first needed: no thread for them:" << error.what();
    }
}

FontWarmUp::~FontWarmUp()
{
    finish();
}

void FontWarmUp::run()
{
#ifdef LISTRA_HAVE_FONTCONFIG
    // The dearest part, and it needs nothing of the application: the configuration and the
    // font files it names. The application's own font list takes it over when it comes.
    FcInit();
#endif
    std::unique_lock lock(m_mutex);
    m_wake.wait(lock, [this] { return m_listFonts || m_finish; });
    if (!m_listFonts)
        return;
    lock.unlock();
    // The font database may be used from any thread; the window's thread waits for the list
    // only if it needs it before it is read.
    QFontDatabase::families();
}

void FontWarmUp::listFonts()
{
    {
        const std::lock_guard lock(m_mutex);
        m_listFonts = !m_finish;
    }
    m_wake.notify_one();
}

void FontWarmUp::finish()
{
    {
        const std::lock_guard lock(m_mutex);
        m_finish = true;
    }
    m_wake.notify_one();
    if (m_thread.joinable())
        m_thread.join();
}
