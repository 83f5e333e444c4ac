// A source that includes every window, in both include forms: checked as a
// source of each window folder, it must be refused for every other window
// and allowed its own.
#include "explore/win/form_explorer.h"
#include "help/win/form_help.h"
#include "main/win/form_main.h"
#include <explore/win/series_page.h>
#include <help/win/help_resource.h>
#include <main/win/main_resource.h>
