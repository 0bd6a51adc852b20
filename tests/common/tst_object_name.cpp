// Names of objects with their schemas: as the lists show them, as statements and object_id()
// read them, and as users write them.

#include <gtest/gtest.h>

#include "common/object_name.h"

using makeddl::ObjectName;

TEST(ObjectName, DboStaysBareAndOtherSchemasAreNamed) {
  EXPECT_TRUE(ObjectName("DBO", "t").inDbo());
  EXPECT_EQ(ObjectName("dbo", "t"), ObjectName("t"));
  EXPECT_EQ(shownName(ObjectName("a.b")), "a.b");
  EXPECT_EQ(sqlName(ObjectName("a.b")), "[a.b]");
  EXPECT_EQ(nameArgument(ObjectName("a.b")), "'[a.b]'");
  EXPECT_EQ(nameArgument(ObjectName("t")), "'t'");
  const ObjectName odd("my ]schema", "it's.x");
  EXPECT_EQ(shownName(odd), "[my ]]schema].[it's.x]");
  EXPECT_EQ(sqlName(ObjectName("sales", "orders")), "sales.orders");
  EXPECT_EQ(nameArgument(odd), "'[my ]]schema].[it''s.x]'");
  EXPECT_EQ(shownName(ObjectName("销售", "订单")), "销售.订单");
}

TEST(ObjectName, UsersWriteOneOrTwoParts) {
  EXPECT_EQ(makeddl::parseObjectName("t"), ObjectName("t"));
  EXPECT_EQ(makeddl::parseObjectName(" dbo.t "), ObjectName("t"));
  EXPECT_EQ(makeddl::parseObjectName("sales.orders"), ObjectName("sales", "orders"));
  EXPECT_EQ(makeddl::parseObjectName("[a.b]"), ObjectName("a.b"));
  EXPECT_EQ(makeddl::parseObjectName("[my ]]schema].\"x\"\"y\""), ObjectName("my ]schema", "x\"y"));
  // The shown name reads back as the object it shows.
  const ObjectName odd("my ]schema", "it's.x");
  EXPECT_EQ(makeddl::parseObjectName(shownName(odd)), odd);
  for (const char* wrong : {"a.b.c", "[a", "a.", ".a", "\"a", ""})
    EXPECT_EQ(makeddl::parseObjectName(wrong), std::nullopt) << wrong;
}
