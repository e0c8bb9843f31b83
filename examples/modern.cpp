// Kel in the style of today's C++: a stock report read from XML into a std::map keyed by Kel::String,
// orders queued in a Collection and walked with range-for, documents moved into a std::vector, time
// stamps from std::chrono, and one handler for every failure through std::exception.

#include <kel/kel.h>

#include <chrono>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

const char* const stockXml = "<?xml version=\"1.0\"?>\n"
                             "<stock>\n"
                             "  <item name='bolt' qty='40'/>\n"
                             "  <item name='nut' qty='125'/>\n"
                             "  <!-- <item name='washer' qty='0'/> retired -->\n"
                             "  <item name='bolt' qty='10'/>\n"
                             "</stock>\n";

class Order : public Kel::Collectable {
public:
    // Owner flags 1: the queue may delete the order when it removes it.
    Order(const Kel::String& item, long quantity) : Kel::Collectable(1, item), _quantity(quantity) {}
    long quantity() const { return _quantity; }

private:
    long _quantity;
};

// The stock per item name, summed over every <item> of the document; map keys sort with null first.
std::map<Kel::String, long> stockOf(const Kel::XMLDoc& doc) {
    std::map<Kel::String, long> stock;
    for (const Kel::XMLNode& item : doc.rootNode()->children()) {
        if (item.type() == Kel::XMLNode::Element) {
            stock[item.attribute("name")] += std::strtol(item.attribute("qty"), nullptr, 10);
        }
    }
    return stock;
}

std::string logLine(const char* message) {
    const Kel::Timestamp now = Kel::Timestamp::nowWithMilliseconds(Kel::Time::Local);
    return std::string(now.format("YYYY-MM-DD HH:NN:SS.SSS")) + " " + message;
}

} // namespace

int main() {
    try {
        std::vector<Kel::XMLDoc> documents;
        documents.push_back(Kel::XMLDoc(stockXml)); // moved in, no copy of the tree
        std::map<Kel::String, long> stock = stockOf(documents.front());
        for (const auto& [name, quantity] : stock) {
            std::cout << name << ": " << quantity << "\n";
        }

        Kel::Collection queue;
        queue.addTail(new Order("bolt", 30));
        queue.addTail(new Order("nut", 200));
        for (Order& order : queue.items<Order>()) {
            const long left = stock[order.key()] - order.quantity();
            std::cout << logLine(left < 0 ? "short" : "ok") << " " << order.key() << " " << left << "\n";
        }
        queue.removeAll(1);

        // A time stamp taken through the standard clock and written back to it.
        const auto taken = std::chrono::system_clock::now();
        const Kel::Timestamp stamp(taken);
        const auto back = stamp.toTimePoint();
        const auto drift = std::chrono::duration_cast<std::chrono::seconds>(taken - back).count();
        std::cout << "stamp " << stamp.format("YYYY-MM-DD HH:NN:SS")
                  << ", drift under a second: " << (drift == 0 ? "yes" : "no") << "\n";

        Kel::Date(2024, 2, 30); // no such day: the handler below reports it
        return EXIT_FAILURE;
    } catch (const std::exception& e) {
        std::cout << "caught: " << e.what() << "\n";
        return EXIT_SUCCESS;
    }
}
