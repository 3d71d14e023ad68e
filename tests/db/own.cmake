k27_add_test(tst_database SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_database.cpp LIBS k27_db)
