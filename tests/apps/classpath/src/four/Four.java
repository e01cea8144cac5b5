package four;

/** In lib/four, a jar whose name does not end in ".jar". */
public final class Four {
  private Four() {}

  public static String describe() {
    return "four";
  }
}
