k27_add_test(tst_database SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_database.cpp LIBS k27_db)
k27_add_test(tst_dbtool SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_dbtool.cpp LIBS k27_db)
add_dependencies(tst_dbtool k27-db)
