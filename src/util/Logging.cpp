// SPDX-License-Identifier: MIT
#include "Logging.h"

Q_LOGGING_CATEGORY(lcLanyard, "lanyard")
