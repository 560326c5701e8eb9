set(policy_tests ${CMAKE_CURRENT_LIST_DIR}/policy)
velmora_add_test(NAME tst_sendpolicy SOURCES ${policy_tests}/tst_sendpolicy.cpp LIBS gw_engine)
velmora_add_test(NAME tst_sendcounts SOURCES ${policy_tests}/tst_sendcounts.cpp LIBS gw_engine)
velmora_add_test(NAME tst_policyconfig SOURCES ${policy_tests}/tst_policyconfig.cpp LIBS gw_engine)
