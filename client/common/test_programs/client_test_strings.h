// String ids of the client library's tests.
#pragma once

#define IDS_TEST_QUESTION 1001
#define IDS_TEST_MESSAGE 1002
