#pragma once

#include "launcher/chooser_host.h"
#include "support/fake_dialogs.h"

#include <QStringList>

// Stand-ins for what the launcher talks to. Each records its calls, in order, in one shared log,
// so that tests can check both what happened and in which order (FakeDialogs writes there too).

class FakeChooserHost : public launcher::ChooserHost
{
public:
    explicit FakeChooserHost(QStringList &log) : m_log(log) {}

    void showChooser() override
    {
        m_log << QStringLiteral("show chooser");
        loaded = true;
    }
    bool isChooserLoaded() const override { return loaded; }
    void unloadChooser() override
    {
        m_log << (loaded ? QStringLiteral("unload chooser")
                         : QStringLiteral("unload chooser that is not loaded"));
        loaded = false;
    }

    bool loaded = false;

private:
    QStringList &m_log;
};
