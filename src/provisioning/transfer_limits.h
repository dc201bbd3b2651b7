// Bounds of every libcurl transfer: a server that accepts the connection and
// then sends nothing must end in a failure, not an endless wait.
#pragma once

struct TransferLimits {
  long connectSeconds;  // to establish the connection
  long stallSeconds;    // less than one byte per second this long aborts
  long maxRedirects;    // a redirect loop ends as a failure
};

// The limits in force. The launcher's own are in transfer_limits_win.cpp;
// a test build links a definition of its own with shorter ones.
const TransferLimits& CurrentTransferLimits();
