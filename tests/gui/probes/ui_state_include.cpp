// Window code that includes the line's state: a test expects it not to build.
#include "app/private/AppState.h"
