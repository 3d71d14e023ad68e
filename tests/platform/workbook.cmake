# Workbook reader tests (need the k27-xls-read tool in the build folder)
k27_add_test(test_workbook_reader SOURCES WorkbookReaderTest.cpp LIBS k27_platform)
add_dependencies(test_workbook_reader k27-xls-read)
