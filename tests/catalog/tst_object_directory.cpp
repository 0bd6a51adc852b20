// Finding objects in the catalogue's directory by the names the lists hold and users type.

#include <gtest/gtest.h>

#include "catalog/object_directory.h"

using makeddl::ObjectName;
using makeddl::catalog::CatalogObject;

namespace {

const std::vector<CatalogObject> kObjects{
    {1, ObjectName("joe", "t"), "U", 0},     {2, ObjectName("sales", "orders"), "U", 0},
    {3, ObjectName("orders"), "U", 0},       {4, ObjectName("a.b"), "U", 0},
    {5, ObjectName("my schema", "a.b"), "V", 0},
};

int idOf(const CatalogObject* object) { return object ? object->id : 0; }

}  // namespace

TEST(ObjectDirectory, NamesFindTheirObjectInTheirSchema) {
  using makeddl::catalog::findObject;
  EXPECT_EQ(idOf(findObject(kObjects, ObjectName("orders"))), 3);
  EXPECT_EQ(idOf(findObject(kObjects, ObjectName("ORDERS"))), 3);  // dbo's before any other schema's
  EXPECT_EQ(idOf(findObject(kObjects, ObjectName("Sales", "ORDERS"))), 2);
  // A bare name dbo lacks is another owner's, as SQL Server 2000's lists show every object bare.
  EXPECT_EQ(idOf(findObject(kObjects, ObjectName("t"))), 1);
  EXPECT_EQ(idOf(findObject(kObjects, ObjectName("sales", "t"))), 0);
}

TEST(ObjectDirectory, UsersNameObjectsAsTheListsShowThemOrInParts) {
  using makeddl::catalog::findNamedObject;
  EXPECT_EQ(idOf(findNamedObject(kObjects, "sales.orders")), 2);
  EXPECT_EQ(idOf(findNamedObject(kObjects, "[Sales].[Orders]")), 2);
  EXPECT_EQ(idOf(findNamedObject(kObjects, "dbo.orders")), 3);
  EXPECT_EQ(idOf(findNamedObject(kObjects, "a.b")), 4);  // as dbo's is shown, before reading it as parts
  EXPECT_EQ(idOf(findNamedObject(kObjects, "[a.b]")), 4);
  EXPECT_EQ(idOf(findNamedObject(kObjects, "[my schema].[a.b]")), 5);
  for (const char* unknown : {"nosuch", "nosuch.orders", "x.sales.orders", "[sales"})
    EXPECT_EQ(findNamedObject(kObjects, unknown), nullptr) << unknown;
}
