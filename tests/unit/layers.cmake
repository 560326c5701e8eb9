# The folders' order: none include each other, the vocabulary includes nothing above it, and
# the front ends reach the engine through the vocabulary alone.
add_test(NAME tst_layers
    COMMAND python3 ${CMAKE_CURRENT_LIST_DIR}/layers/check_layers.py ${PROJECT_SOURCE_DIR})
