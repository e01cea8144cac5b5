package bench;

/**
 * A system class loader that adds nothing to its parent, the JDK's
 * application loader. Naming any class with -Djava.system.class.loader has a
 * cost of its own in the JDK (its archived module graph and application
 * classes are then left unused); timing java -cp with this one shows that
 * cost apart from the launcher's.
 */
public class PlainSystemLoader extends ClassLoader {
    public PlainSystemLoader(ClassLoader parent) {
        super(parent);
    }
}
