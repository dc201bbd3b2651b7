// Where the configuration request goes and how long it may take.
//
// The launcher's values live in config_request_win.cpp, a library member
// that holds nothing else; a test build of the launcher links an object file
// of its own that defines kConfigRequest, and the linker then never takes
// the library's.
#pragma once

struct ConfigRequest {
  const wchar_t* urlTemplate;  // "{ditch_name}" becomes the channel name
  long connectTimeoutSeconds;  // for setting up the connection
  long stallSeconds;           // abort a transfer slower than 1 byte/s this long
};

extern const ConfigRequest kConfigRequest;
