// The tree's nodes without a window.
#include <gtest/gtest.h>

#include "gui/tree/ChildNode.h"
#include "gui/tree/NodeIcons.h"

namespace {

using namespace Qt::StringLiterals;

TEST(BaseNode, NewNodesHaveTheirDefaultsAndTheLeafFlagReplacesTheChildren) {
    auto base = std::make_shared<BaseNode>();
    EXPECT_EQ(base->nodeTitle(), u"BaseNode Untitled"_s);
    EXPECT_FALSE(base->isLeaf());
    EXPECT_TRUE(base->urlString().isNull());
    EXPECT_EQ(std::make_shared<ChildNode>()->nodeTitle(), QString());
    EXPECT_EQ(std::make_shared<ChildNode>()->text(), QString());

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

TEST(BaseNode, ACopyKeepsEveryKeyAndTheChildrenAndTheDictionaryRebuildsTheTree) {
    auto root = std::make_shared<ChildNode>();
    root->SetNodeTitle(u"Site"_s);
    root->setDescription(u"north side"_s);
    root->setText(u"notes"_s);
    root->setNodeIcon(NodeIcons::Draw().SuperImage);
    root->setUrlString(u"http://dvr.example/"_s);
    auto group = std::make_shared<ChildNode>();
    group->SetNodeTitle(u"Hall"_s);
    auto leaf = std::make_shared<ChildNode>();
    leaf->SetNodeTitle(u"Door"_s);
    leaf->setIsLeaf(true);
    group->setChildren({leaf});
    root->setChildren({group});

    // A copy is a new node of the same class that shares the children.
    BaseNode::Ptr copy = root->Copy();
    auto* same = dynamic_cast<ChildNode*>(copy.get());
    ASSERT_NE(same, nullptr);
    EXPECT_NE(copy, root);
    EXPECT_EQ(same->nodeTitle(), u"Site"_s);
    EXPECT_EQ(same->description(), u"north side"_s);
    EXPECT_EQ(same->text(), u"notes"_s);
    EXPECT_EQ(same->nodeIcon().name, u"usersupper.bmp"_s);
    EXPECT_EQ(same->urlString(), u"http://dvr.example/"_s);
    EXPECT_EQ(same->children(), QList<BaseNode::Ptr>{group});

    // The dictionary nests a group's children and leaves out a leaf's.
    const QVariantMap map = root->dictionaryRepresentation();
    const QVariantList groups = map.value(u"children"_s).toList();
    ASSERT_EQ(groups.size(), 1);
    const QVariantMap groupMap = groups.first().toMap();
    EXPECT_FALSE(groupMap.contains(u"urlString"_s));  // absent values are left out
    EXPECT_FALSE(groupMap.contains(u"nodeIcon"_s));
    const QVariantMap leafMap = groupMap.value(u"children"_s).toList().value(0).toMap();
    EXPECT_EQ(leafMap.value(u"nodeTitle"_s).toString(), u"Door"_s);
    EXPECT_FALSE(leafMap.contains(u"children"_s));
    // A new node's description.
    EXPECT_EQ(leafMap.value(u"description"_s).toString(), u"- empty description -"_s);

    // Rebuilt from it: new nodes of the same class, with the same keys.
    auto rebuilt = std::make_shared<ChildNode>();
    rebuilt->initWithDictionary(map);
    EXPECT_EQ(rebuilt->dictionaryRepresentation(), map);
    ASSERT_EQ(rebuilt->children().size(), 1);
    BaseNode::Ptr hall = rebuilt->children().first();
    EXPECT_NE(hall, group);
    EXPECT_NE(dynamic_cast<ChildNode*>(hall.get()), nullptr);
    ASSERT_EQ(hall->children().size(), 1);
    BaseNode::Ptr door = hall->children().first();
    EXPECT_TRUE(door->isLeaf());
    EXPECT_EQ(door->children().first(), door);
}

}  // namespace
