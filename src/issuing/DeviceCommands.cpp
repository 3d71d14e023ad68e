#include "issuing/DeviceCommands.h"

#include "issuing/CardFrame.h"
#include "issuing/CommandBuffer.h"
#include "platform/SerialPort.h"

namespace k27 {

namespace {

bool ensureOpen(SerialPort& port)
{
    return port.isOpen() || port.open();
}

} // namespace

bool SendFrame(SerialPort& port, CommandBuffer& buffer)
{
    buffer.writeChecksum();
    return ensureOpen(port) && port.write(buffer.bytes());
}

bool SendStop(SerialPort& port)
{
    if (!ensureOpen(port))
        return false;
    port.discardOutput();
    return port.write(QByteArray(1, char(CardFrame::StopByte)));
}

} // namespace k27
