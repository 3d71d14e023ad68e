# Tests owned by the foundation
