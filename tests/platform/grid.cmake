# Grid tests
k27_add_test(test_grid SOURCES GridTest.cpp LIBS k27_platform)
k27_add_test(test_grid_export SOURCES GridExportTest.cpp LIBS k27_platform)
k27_add_test(test_grid_print SOURCES GridPrintTest.cpp LIBS k27_platform)
