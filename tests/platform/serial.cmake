# Serial tests
k27_add_test(test_serialport SOURCES SerialPortTest.cpp LIBS k27_platform)
