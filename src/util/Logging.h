// SPDX-License-Identifier: MIT
#pragma once

#include <QLoggingCategory>

/// The library's one logging category, "lanyard": failures that no caller is left to receive.
Q_DECLARE_LOGGING_CATEGORY(lcLanyard)
