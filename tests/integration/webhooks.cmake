# Webhooks posted to a receiver in Python that verifies their signatures.
velmora_add_test(NAME tst_webhooks
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/tst_webhooks.cpp
    LIBS gw_engine Qt6::Network)
