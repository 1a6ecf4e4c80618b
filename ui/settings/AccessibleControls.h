// SPDX-License-Identifier: MIT
#pragma once

// Teaches the accessibility layer two controls it would announce wrongly: picture buttons that
// form a group of options (announced as check boxes) and drop-down lists (announced by their
// current entry instead of their name). Safe to call more than once.
void installAccessibleControls();
