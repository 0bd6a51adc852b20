#include "engine/error.hpp"

namespace sandbox::errors {

SqlError invalidObject(const std::string& name) { return {208, 16, 1, "Invalid object name '" + name + "'."}; }
SqlError invalidColumn(const std::string& name) { return {207, 16, 3, "Invalid column name '" + name + "'."}; }
SqlError ambiguousColumn(const std::string& name) { return {209, 16, 1, "Ambiguous column name '" + name + "'."}; }
SqlError undeclaredVariable(const std::string& name) {
    return {137, 15, 2, "Must declare the variable '" + name + "'."};
}
SqlError unknownProcedure(const std::string& name) {
    return {2812, 16, 62, "Could not find stored procedure '" + name + "'."};
}
SqlError nestingTooDeep() {
    return {217, 16, 1, "Maximum stored procedure, function, trigger, or view nesting level exceeded (limit 32)."};
}

SqlError objectExists(const std::string& name) {
    return {2714, 16, 6, "There is already an object named '" + name + "' in the database.", false};
}
SqlError unknownFunction(const std::string& name) {
    return {195, 15, 10, "'" + name + "' is not a recognized function name."};
}
SqlError unknownType(const std::string& name) {
    return {243, 16, 1, "Type " + name + " is not a defined system type."};
}
SqlError divideByZero() { return {8134, 16, 1, "Divide by zero error encountered.", false}; }
SqlError overflow(const std::string& typeName) {
    return {8115, 16, 2, "Arithmetic overflow error converting expression to data type " + typeName + ".", false};
}
SqlError notSupported(const std::string& what) {
    return {170, 15, 1, "Line 1: Incorrect syntax near '" + what + "'."};
}

SqlError constraintNotCreated(SqlError cause) {
    return cause.followedBy(1750, 16, 1, "Could not create constraint. See previous errors.");
}
SqlError constraintNotDropped(SqlError cause) {
    return cause.followedBy(3727, 16, 1, "Could not drop constraint. See previous errors.");
}

}  // namespace sandbox::errors
