package other;

import aprobe.Greeter;

/** A greeter from the second library jar. */
public class OtherGreeter implements Greeter {
    public String greet(String name) {
        return "other greets " + name;
    }
}
