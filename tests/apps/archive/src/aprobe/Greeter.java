package aprobe;

/** A service that the nested library jars provide. */
public interface Greeter {
    String greet(String name);
}
