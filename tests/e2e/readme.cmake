# The README's "first real user" recipe, run as written against a fresh empty database.
add_test(NAME test_first_user_recipe
    COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/readme/first_user_recipe.sh
        ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/packaging/man/lorvex-server.roff
        $<TARGET_FILE:lorvex-server> $<TARGET_FILE:lorvex-monitor>)
set_tests_properties(test_first_user_recipe PROPERTIES TIMEOUT 120 LABELS e2e)
