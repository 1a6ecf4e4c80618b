#pragma once

#include "model/OleColor.h"

// The colours a status gives a task; filled from the user's settings.
struct StatusColors {
    OleColor doneFore = 0x00B900;
    OleColor progressFore = 0x000000;
    OleColor rejectedFore = 0x0000B9;
    OleColor doneBack = 0x9BFF9B;
    OleColor progressBack = 0xFFFFFF;
    OleColor rejectedBack = 0x9696FF;
    bool useBackColor = false;

    bool operator==(const StatusColors &) const = default;
};
