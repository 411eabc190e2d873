#include "Logging.h"

Q_LOGGING_CATEGORY(lcLanyard, "lanyard")
