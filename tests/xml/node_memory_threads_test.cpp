// Nodes and attributes come from pools of equal-sized blocks: objects made and destroyed in any order and
// on any thread must keep their contents apart, classes derived from them must still work, and the
// memory of a destroyed tree must go back to the heap.

#include "kel_test.h"
#include "xml_content.h"

#include <kel/xml.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

#if defined(__SANITIZE_ADDRESS__)
#define KEL_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KEL_TEST_ASAN 1
#endif
#endif

using namespace Kel;

namespace {

std::string nameOf(int i) {
    return "node-" + std::to_string(i) + "-with-a-long-name";
}

// A node type with a member of its own: it no longer has the pooled size.
class TaggedNode : public XMLNode {
public:
    using XMLNode::XMLNode;
    long long tag = 42;
};

// A node type of exactly the pooled size.
class PlainNode : public XMLNode {
public:
    using XMLNode::XMLNode;
};

// A node with an attribute and a child; every third node is of one of the derived types, made and destroyed
// through the base class.
XMLNode* makeNode(int i) {
    const String name(nameOf(i).c_str());
    XMLNode* node = i % 3 == 0 ? new TaggedNode(name) : i % 3 == 1 ? new PlainNode(name) : new XMLNode(name);
    node->attribute("id", name);
    node->addNode("c", name);
    return node;
}

bool holds(const XMLNode& node, int i) {
    const auto* tagged = dynamic_cast<const TaggedNode*>(&node);
    return kel_test::shapeOf(node) == nameOf(i) + "{id=" + nameOf(i) + ";}(c=" + nameOf(i) + ")" &&
           (i % 3 != 0 || (tagged && tagged->tag == 42));
}

#if defined(__GLIBC__)
std::size_t heapInUse() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}
#endif

} // namespace

TEST(NodeMemory, InterleavedMakingAndDestroyingOfAnyClassKeepsEveryNodeIntact) {
    std::vector<XMLNode*> nodes;
    std::vector<int> ids;
    // Waves that free every other node and refill the holes, so that reused blocks sit among live ones.
    for (int wave = 0; wave < 4; ++wave) {
        for (int i = 0; i < 3000; ++i) {
            nodes.push_back(makeNode(wave * 10000 + i));
            ids.push_back(wave * 10000 + i);
        }
        for (std::size_t i = wave % 2; i < nodes.size(); i += 2) {
            delete nodes[i];
            nodes[i] = makeNode(ids[i] + 5000);
            ids[i] += 5000;
        }
    }
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        ASSERT_TRUE(holds(*nodes[i], ids[i])) << i;
    }
    for (XMLNode* node : nodes) {
        delete node;
    }
}

TEST(NodeMemory, NodesMadeOnOneThreadAreDestroyedOnAnother) {
    constexpr int producers = 3, perProducer = 4000;
    std::mutex lock;
    std::vector<std::pair<XMLNode*, int>> handedOver;
    std::atomic<int> producing{producers};
    std::atomic<int> damaged{0};

    std::vector<std::thread> threads;
    for (int p = 0; p < producers; ++p) {
        threads.emplace_back([&, p] {
            for (int i = 0; i < perProducer; ++i) {
                const int id = p * perProducer + i;
                XMLNode* node = makeNode(id);
                // Every third node is destroyed where it was made; the others travel.
                if (i % 3 == 0) {
                    damaged += !holds(*node, id);
                    delete node;
                    continue;
                }
                std::lock_guard<std::mutex> guard(lock);
                handedOver.emplace_back(node, id);
            }
            --producing;
        });
    }
    threads.emplace_back([&] {
        for (bool done = false; !done;) {
            done = producing == 0; // read before the swap: every node handed over by then is in this batch
            std::vector<std::pair<XMLNode*, int>> batch;
            {
                std::lock_guard<std::mutex> guard(lock);
                batch.swap(handedOver);
            }
            for (auto& each : batch) {
                damaged += !holds(*each.first, each.second);
                delete each.first;
            }
            std::this_thread::yield();
        }
    });
    for (auto& t : threads) {
        t.join();
    }
    EXPECT_EQ(damaged.load(), 0);
}

#if defined(__GLIBC__)
TEST(NodeMemory, ADestroyedTreeGivesItsMemoryBack) {
    const std::size_t before = heapInUse();
    std::size_t built = 0;
    {
        XMLNode root("root");
        for (int i = 0; i < 20000; ++i) {
            root.addNode(nameOf(i).c_str(), nameOf(i).c_str())->attribute("id", nameOf(i).c_str());
        }
        const XMLDoc parsed(root.stream(false)); // texts in more than one chunk
        built = heapInUse() - before;
    }
    const std::size_t after = heapInUse();
    if (built == 0) {
        GTEST_SKIP() << "the heap in use is not glibc's own (a sanitizer or valgrind replaced it)";
    }
    EXPECT_GT(built, 20000u * 200);
    // At most a slab or two of each kind stays behind for the next tree.
    EXPECT_LT(after > before ? after - before : 0, 4u * 64 * 1024);
}
#endif

#if defined(KEL_TEST_ASAN)
TEST(NodeMemoryDeathTest, UseAfterDeleteIsStillReported) {
    XMLNode* kept = makeNode(1); // keeps company, as in a tree, so that a pool would not empty
    EXPECT_DEATH(
        {
            XMLNode* node = makeNode(2);
            delete node;
            std::printf("%d\n", static_cast<int>(node->type()));
        },
        "heap-use-after-free");
    delete kept;
}
#endif
