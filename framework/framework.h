// The application framework of korvane's dialogs: application object, modal
// dialogs from resource templates, message maps, dialog data exchange, paint
// context, wait cursor and worker threads.
#pragma once

#include "app.h"
#include "dialog.h"
#include "thread.h"
#include "measured_edit.h"
#include "wnd.h"
