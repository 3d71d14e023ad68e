# Cardholder import from workbooks: the engine without a window, btnInput in the main window.
k27_add_test(test_cardholder_import SOURCES ${CMAKE_CURRENT_LIST_DIR}/CardholderImportTest.cpp LIBS k27_mainwin)
target_include_directories(test_cardholder_import PRIVATE ${PROJECT_SOURCE_DIR}/tests/mainwin)
add_dependencies(test_cardholder_import k27-xls-read)
