#include <gtest/gtest.h>

#include "edl/kxLinkedList.h"
