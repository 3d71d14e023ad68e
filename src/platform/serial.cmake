# Serial port sources: list(APPEND K27_PLATFORM_SOURCES ...)
list(APPEND K27_PLATFORM_SOURCES
    SerialPort.h SerialPort.cpp
)
