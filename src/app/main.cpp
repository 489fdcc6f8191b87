// The desktop program.
#include "app/my_app.h"

wxIMPLEMENT_APP(qn::MyApp);
