// The desktop program.
#include "desktop/my_app.h"

wxIMPLEMENT_APP(qn::MyApp);
