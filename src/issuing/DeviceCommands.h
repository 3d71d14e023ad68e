#pragma once

namespace k27 {

class CommandBuffer;
class SerialPort;

// Completes the checksum of the buffer, opens the port when it is closed (with whatever
// settings it already has) and writes the 111 bytes as one block. False when the port
// would not open or the write failed; the issuing page then tells the operator that
// nothing was sent.
bool SendFrame(SerialPort& port, CommandBuffer& buffer);

// Ends an issuing run: opens the port when closed, drops output not yet transmitted,
// then writes the stop byte 0x0D. False as above.
bool SendStop(SerialPort& port);

} // namespace k27
