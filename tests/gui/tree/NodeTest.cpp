// The tree's nodes without a window.
#include <gtest/gtest.h>

#include "gui/tree/ChildNode.h"
#include "gui/tree/NodeIcons.h"

namespace {

TEST(BaseNode, NewNodesHaveTheirDefaultsAndTheLeafFlagReplacesTheChildren) {
    auto base = std::make_shared<BaseNode>();
    EXPECT_EQ(base->nodeTitle(), QStringLiteral("BaseNode Untitled"));
    EXPECT_FALSE(base->isLeaf());
    EXPECT_TRUE(base->children().isEmpty());
    EXPECT_TRUE(base->urlString().isNull());

    auto dvr = std::make_shared<ChildNode>();
    EXPECT_EQ(dvr->nodeTitle(), QString());
    EXPECT_EQ(dvr->description(), QStringLiteral("- empty description -"));
    EXPECT_EQ(dvr->text(), QString());

    // A group keeps its own copy of the list it is given.
    QList<BaseNode::Ptr> given{std::make_shared<ChildNode>()};
    base->setChildren(given);
    given.append(std::make_shared<ChildNode>());
    EXPECT_EQ(base->children().size(), 1);

    base->setIsLeaf(true);
    ASSERT_EQ(base->children().size(), 1);
    EXPECT_EQ(base->children().first(), base);  // a leaf's child is itself
    base->setChildren(given);                   // and stays so
    EXPECT_EQ(base->children().first(), base);
    base->setIsLeaf(false);
    EXPECT_TRUE(base->children().isEmpty());
}

TEST(BaseNode, CopyIsOfTheSameClassWithEveryKeyAndTheSameChildren) {
    const NodeIcons icons = NodeIcons::Draw();
    auto node = std::make_shared<ChildNode>();
    node->setNodeTitle(QStringLiteral("Gate"));
    node->setDescription(QStringLiteral("north side"));
    node->setText(QStringLiteral("notes"));
    node->setNodeIcon(icons.SuperImage);
    node->setUrlString(QStringLiteral("http://dvr.example/"));
    auto child = std::make_shared<ChildNode>();
    node->setChildren({child});

    BaseNode::Ptr copy = node->copy();
    auto* same = dynamic_cast<ChildNode*>(copy.get());
    ASSERT_NE(same, nullptr);
    EXPECT_NE(copy, node);
    EXPECT_EQ(same->nodeTitle(), QStringLiteral("Gate"));
    EXPECT_EQ(same->description(), QStringLiteral("north side"));
    EXPECT_EQ(same->text(), QStringLiteral("notes"));
    EXPECT_EQ(same->nodeIcon().name, QStringLiteral("usersupper.bmp"));
    EXPECT_EQ(same->urlString(), QStringLiteral("http://dvr.example/"));
    ASSERT_EQ(same->children().size(), 1);
    EXPECT_EQ(same->children().first(), child);
}

TEST(BaseNode, DictionaryNestsGroupChildrenLeavesOutALeafsAndRebuildsTheTree) {
    auto root = std::make_shared<ChildNode>();
    root->setNodeTitle(QStringLiteral("Site"));
    auto group = std::make_shared<ChildNode>();
    group->setNodeTitle(QStringLiteral("Hall"));
    auto leaf = std::make_shared<ChildNode>();
    leaf->setNodeTitle(QStringLiteral("Door"));
    leaf->setIsLeaf(true);
    group->setChildren({leaf});
    root->setChildren({group});

    const QVariantMap map = root->dictionaryRepresentation();
    EXPECT_FALSE(map.contains(QStringLiteral("urlString")));  // absent values are left out
    EXPECT_FALSE(map.contains(QStringLiteral("nodeIcon")));
    const QVariantList groups = map.value(QStringLiteral("children")).toList();
    ASSERT_EQ(groups.size(), 1);
    const QVariantMap groupMap = groups.first().toMap();
    const QVariantMap leafMap =
        groupMap.value(QStringLiteral("children")).toList().value(0).toMap();
    EXPECT_EQ(leafMap.value(QStringLiteral("nodeTitle")).toString(), QStringLiteral("Door"));
    EXPECT_FALSE(leafMap.contains(QStringLiteral("children")));
    EXPECT_EQ(leafMap.value(QStringLiteral("description")).toString(),
              QStringLiteral("- empty description -"));

    auto rebuilt = std::make_shared<ChildNode>();
    rebuilt->initWithDictionary(map);
    EXPECT_EQ(rebuilt->nodeTitle(), QStringLiteral("Site"));
    ASSERT_EQ(rebuilt->children().size(), 1);
    BaseNode::Ptr hall = rebuilt->children().first();
    EXPECT_NE(hall, group);  // new nodes, not the old ones
    EXPECT_NE(dynamic_cast<ChildNode*>(hall.get()), nullptr);
    EXPECT_EQ(hall->nodeTitle(), QStringLiteral("Hall"));
    ASSERT_EQ(hall->children().size(), 1);
    BaseNode::Ptr door = hall->children().first();
    EXPECT_TRUE(door->isLeaf());
    EXPECT_EQ(door->children().first(), door);
    EXPECT_EQ(door->nodeTitle(), QStringLiteral("Door"));
}

}  // namespace
