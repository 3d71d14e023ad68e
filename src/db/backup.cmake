# Backup and restore sources: whole-file copies of the database through the online backup.
list(APPEND K27_DB_SOURCES Backup.h Backup.cpp)
