package util;

import aprobe.Greeter;

/** A greeter from the util library jar. */
public class UtilGreeter implements Greeter {
    public String greet(String name) {
        return "util greets " + name;
    }
}
