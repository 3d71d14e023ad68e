# Backup tests
k27_add_test(backup_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/BackupTest.cpp LIBS k27_db PkgConfig::SQLCIPHER)
target_compile_definitions(backup_test PRIVATE SQLITE_HAS_CODEC)
