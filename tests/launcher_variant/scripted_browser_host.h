// The test build's browser host: after each navigation it runs the JScript
// file named by TOV_PAGE_SCRIPT as the page.
#pragma once
#include "ui/browser_host_win.h"

BrowserHost& ScriptedBrowserHost();
