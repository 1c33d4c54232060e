#pragma once

// Whether the machine is online: false only when the system's network information reports no
// connection at all; true where no network information backend exists.
bool IsConnected();
