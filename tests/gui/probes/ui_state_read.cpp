// Window code that reads the line's state through the session: a test expects it not to build.
#include "app/Session.h"

bool ReadsTheLineState(tessary::app::Session& session) { return session.State().TryIniFirst; }
