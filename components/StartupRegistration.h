// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// Starting the program when the user logs on. IsRegistered asks the system, never a copy.
class StartupRegistration
{
public:
    virtual ~StartupRegistration() = default;
    virtual bool IsRegistered(const QString &name) = 0;
    // Both succeed when there is nothing to do; on failure error says why.
    virtual bool Register(const QString &name, const QString &commandLine, QString *error) = 0;
    virtual bool Unregister(const QString &name, QString *error) = 0;
};
