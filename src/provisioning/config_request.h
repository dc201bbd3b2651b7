// Where the configuration request goes.
//
// The launcher's address is in config_request_win.cpp, a library member that
// holds nothing else; a test build of the launcher links a definition of its
// own, and the linker then never takes the library's.
#pragma once

// The address template; every "{ditch_name}" becomes the channel name.
const wchar_t* ConfigUrlTemplate();
