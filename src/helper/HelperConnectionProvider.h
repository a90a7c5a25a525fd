#pragma once

#include <memory>

class HelperConnection;

// Whoever owns the application's helper connection (the application delegate).
class HelperConnectionProvider {
public:
    virtual ~HelperConnectionProvider() = default;
    // The open connection, created and resumed first if there is none.
    virtual std::shared_ptr<HelperConnection> helperConnection() = 0;
};
