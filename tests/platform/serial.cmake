# Serial tests
