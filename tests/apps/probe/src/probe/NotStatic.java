package probe;

/** A main class whose main is not static. */
public class NotStatic {
    public void main(String[] args) {
        System.out.println("never");
    }
}
